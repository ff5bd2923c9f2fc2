// A PC's side of a file transfer, for the tests: the frames of a whole
// transfer (start, data in pieces of at most 4096 bytes, end with the
// file's CRC-32) and files with recognisable contents.
#pragma once

#include "app/utils.h"
#include "tests/links/link_client.h"

#include <optional>
#include <string>
#include <vector>

namespace filetest {

constexpr size_t kPiece = 4096;

inline std::vector<u8> bytesOf(const std::string& s)
{
    return std::vector<u8>(s.begin(), s.end());
}

// `n` bytes that differ from file to file (by `seed`) and from piece to piece.
inline std::vector<u8> pattern(size_t n, u8 seed)
{
    std::vector<u8> out(n);
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<u8>((i * 31 + seed + i / kPiece) & 0xFF);
    return out;
}

// A JSON document of exactly `n` bytes (at least 64) that the box takes
// both as an overlay (no overlay shown) and as an alias file (no names),
// its padding differing from file to file (by `seed`).
inline std::vector<u8> jsonFile(size_t n, u8 seed)
{
    const std::string head = "{\"osdcount\":0,\"oactcount\":0,\"namelist\":{},\"name\":\"";
    std::string pad(n - head.size() - 2, 'a');
    for (size_t i = 0; i < pad.size(); ++i)
        pad[i] = static_cast<char>('a' + (i * 7 + seed) % 26);
    return bytesOf(head + pad + "\"}");
}

inline u32 crcOf(const std::vector<u8>& data)
{
    return Utils::calcCRC32(data.data(), static_cast<unsigned int>(data.size()));
}

inline CTRL_FRAME startFrame(const std::string& tag, u32 total, const std::string& name = "", u8 kind = 0)
{
    return pcRequest(0x20, cat({bytesOf(tag), le32(total), {kind}, bytesOf(name)}));
}

inline CTRL_FRAME dataFrame(u32 offset, const std::vector<u8>& data, size_t from, size_t n)
{
    std::vector<u8> payload = le32(offset);
    payload.insert(payload.end(), data.begin() + static_cast<long>(from), data.begin() + static_cast<long>(from + n));
    return pcRequest(0x21, payload);
}

inline CTRL_FRAME endFrame(u32 crc)
{
    return pcRequest(0x22, le32(crc));
}

// Every frame of a whole transfer, the end frame with `crc`.
inline std::vector<CTRL_FRAME> transferFrames(const std::string& tag, const std::vector<u8>& data, u32 crc,
                                              const std::string& name = "", u8 kind = 0)
{
    std::vector<CTRL_FRAME> frames{startFrame(tag, static_cast<u32>(data.size()), name, kind)};
    for (size_t at = 0; at < data.size(); at += kPiece)
        frames.push_back(dataFrame(static_cast<u32>(at), data, at, std::min(kPiece, data.size() - at)));
    frames.push_back(endFrame(crc));
    return frames;
}

inline std::vector<CTRL_FRAME> transferFrames(const std::string& tag, const std::vector<u8>& data,
                                              const std::string& name = "", u8 kind = 0)
{
    return transferFrames(tag, data, crcOf(data), name, kind);
}

// Sends every frame through `ask` (frame -> optional reply) and gives the
// status of the last reply; the first failure stops it (0xFE: no reply).
template <class Ask>
u8 sendAll(const std::vector<CTRL_FRAME>& frames, Ask ask)
{
    for (const CTRL_FRAME& f : frames) {
        const std::optional<CTRL_FRAME> reply = ask(f);
        if (!reply)
            return 0xFE;
        if (statusOf(*reply) != 0 || &f == &frames.back())
            return statusOf(*reply);
    }
    return 0xFF;
}

}  // namespace filetest
