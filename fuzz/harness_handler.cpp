// Fuzz harness of the command handler on a simulated box. The first input
// byte chooses the road: even, the rest is a byte stream that goes through
// the codec into the handler as a link would feed it; odd, the rest is one
// frame handed straight to the handler (target, source, command,
// sub-command, then the payload), so that the check byte is no obstacle.
// Every reply must be well formed.
#include "app/config_engine.h"
#include "app/kelrampara.h"
#include "fuzz/fuzz_box.h"
#include "links/message_deal.h"
#include "platform/platform.h"
#include "platform/sim/sim.h"

#include <cstdlib>
#include <cstring>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

message_deal& handler()
{
    static message_deal* h = [] {
        check(fuzzbox::start());
        platform::sim::setRebootHandler([] {});
        ConfigEngine::pInstance();
        KelRamPara::pInstance();
        return new message_deal(message_deal::LINK_TCP);
    }();
    return *h;
}

void checkReply(const CTRL_FRAME& req, const CTRL_FRAME& reply)
{
    check(reply.target == req.source && reply.source == req.target);
    check(reply.command == req.command && reply.sub_command == req.sub_command);
    check(reply.length >= 1 && reply.length <= ctrl::kMaxPayload);
    check(reply.payload[0] <= message_deal::ST_UNSUPPORTED);
    if (reply.payload[0] != message_deal::ST_DONE)
        check(reply.length == 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    message_deal& h = handler();
    static unsigned runs = 0;
    if (++runs % 1000 == 0)
        platform::removeFile("/sim/shell.log");
    platform::sim::clearShellJournal();
    if (size == 0)
        return 0;
    if ((data[0] & 1) == 0) {
        protocol_phy codec;
        const u8* at = data + 1;
        while (const CTRL_FRAME* req = codec.next(at, data + size)) {
            const message_deal::Wire out = h.respond(*req);
            CTRL_FRAME reply;
            check(out.size == 0 || protocol_phy::decodeOne(out.data, out.size, reply));
        }
        return 0;
    }
    if (size < 5)
        return 0;
    CTRL_FRAME req;
    req.target = data[1];
    req.source = data[2];
    req.command = data[3];
    req.sub_command = data[4];
    const size_t n = size - 5 > ctrl::kMaxPayload ? ctrl::kMaxPayload : size - 5;
    req.append(data + 5, n);
    CTRL_FRAME reply;
    if (h.deal(req, reply))
        checkReply(req, reply);
    return 0;
}
