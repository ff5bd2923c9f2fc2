// Fuzz harness of the frame codec. The input is a byte stream as a link would
// receive it; the first byte chooses how it is cut into reads. Every frame
// the codec delivers must re-encode and decode to itself, and feeding the
// same stream in one piece must give the same frames, as must the codec's
// byte-at-a-time reference, with the same counts.
#include "links/protocol_phy.h"
#include "tests/links/reference_codec.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

bool sameFrame(const CTRL_FRAME& a, const CTRL_FRAME& b)
{
    return a.target == b.target && a.source == b.source && a.command == b.command && a.sub_command == b.sub_command &&
           a.length == b.length && std::memcmp(a.payload.data(), b.payload.data(), a.length) == 0;
}

void check(bool ok)
{
    if (!ok)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t chunk = (data[0] % 16) + 1;
    const uint8_t* stream = data + 1;
    const size_t len = size - 1;

    std::vector<CTRL_FRAME> whole;
    protocol_phy one;
    one.feed(stream, len, [&](const CTRL_FRAME& f) { whole.push_back(f); });

    std::vector<CTRL_FRAME> pieces;
    protocol_phy split;
    for (size_t pos = 0; pos < len; pos += chunk)
        split.feed(stream + pos, len - pos < chunk ? len - pos : chunk,
                   [&](const CTRL_FRAME& f) { pieces.push_back(f); });

    std::vector<CTRL_FRAME> plain;
    ReferenceCodec reference;
    reference.feed(stream, len, plain);
    const protocol_phy::Stats &a = split.stats(), &b = reference.stats();
    check(a.frames == b.frames && a.bad_escape == b.bad_escape && a.bad_length == b.bad_length &&
          a.bad_check == b.bad_check && a.cut == b.cut && a.noise == b.noise);
    check(plain.size() == pieces.size());
    for (size_t i = 0; i < plain.size(); ++i)
        check(sameFrame(plain[i], pieces[i]));

    check(whole.size() == pieces.size());
    for (size_t i = 0; i < whole.size(); ++i) {
        check(sameFrame(whole[i], pieces[i]));
        check(whole[i].length <= ctrl::kMaxPayload);
        std::vector<u8> wire;
        protocol_phy::encode(whole[i], wire);
        check(wire.size() <= ctrl::kMaxWireFrame);
        CTRL_FRAME back;
        check(protocol_phy::decodeOne(wire.data(), wire.size(), back));
        check(sameFrame(back, whole[i]));
    }
    return 0;
}
