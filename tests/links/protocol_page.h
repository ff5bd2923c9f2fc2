// The frames docs/protocol.md prints in hexadecimal, read from the page
// itself in their order, for the tests that replay them.
#pragma once

#include "tests/links/link_client.h"

#include <fstream>
#include <regex>
#include <sstream>

// The frames of the page in their order: 0xA5, bytes, 0x5A, possibly broken
// over lines and indented.
inline std::vector<std::vector<u8>> documentedFrames()
{
    std::ifstream in(KEL_SOURCE_DIR "/docs/protocol.md");
    std::stringstream text;
    text << in.rdbuf();
    const std::string page = text.str();
    std::vector<std::vector<u8>> frames;
    const std::regex frame(R"(A5(\s+[0-9A-F]{2})+?\s+5A\b)");
    for (auto it = std::sregex_iterator(page.begin(), page.end(), frame); it != std::sregex_iterator(); ++it) {
        std::string bytes = it->str();
        for (char& c : bytes)
            if (std::isspace(static_cast<unsigned char>(c)))
                c = ' ';
        frames.push_back(hex(bytes));
    }
    return frames;
}

inline bool fromPc(const CTRL_FRAME& f)
{
    return f.source == ctrl::kAddrPc;
}

inline CTRL_FRAME decodedFrame(const std::vector<u8>& bytes)
{
    CTRL_FRAME f;
    EXPECT_TRUE(protocol_phy::decodeOne(bytes.data(), bytes.size(), f)) << ::testing::PrintToString(bytes);
    return f;
}

inline std::vector<u8> encodedFrame(const CTRL_FRAME& f)
{
    std::vector<u8> bytes;
    protocol_phy::encode(f, bytes);
    return bytes;
}

// A frame between the PC and the receiving cards behind a sending port.
inline bool passThroughFrame(const std::vector<u8>& bytes)
{
    const CTRL_FRAME f = decodedFrame(bytes);
    return ctrl::isCardAddress(fromPc(f) ? f.target : f.source);
}

// A frame of the flash commands (0x70-0x72): the page shows them on a chip
// whose faults change between the requests.
inline bool flashFrame(const std::vector<u8>& bytes)
{
    constexpr u8 kFlashErase = 0x70, kFlashRead = 0x72;
    const CTRL_FRAME f = decodedFrame(bytes);
    return f.command >= kFlashErase && f.command <= kFlashRead;
}

// The page's requests of one kind, each with the replies printed after it.
struct DocumentedExchange {
    std::vector<u8> request;
    std::vector<std::vector<u8>> replies;
};

inline std::vector<DocumentedExchange> documentedExchanges(bool (*ofKind)(const std::vector<u8>&))
{
    std::vector<DocumentedExchange> out;
    for (const std::vector<u8>& bytes : documentedFrames()) {
        if (!ofKind(bytes))
            continue;
        if (fromPc(decodedFrame(bytes)))
            out.push_back({bytes, {}});
        else if (!out.empty())
            out.back().replies.push_back(bytes);
    }
    return out;
}
