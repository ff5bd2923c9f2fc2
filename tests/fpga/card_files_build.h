// Writes scan and recovery files as a PC tool would, for the tests.
#pragma once

#include "app/utils.h"
#include "fpga/card_files.h"
#include "registers/fpga_regs.h"

#include <string>
#include <vector>

namespace cardfile_build {

inline void put16(std::string& s, unsigned v)
{
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}

inline void put32(std::string& s, unsigned v)
{
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

// Magic, version, count, CRC of the body, then the body.
inline std::string sealed(const char (&magic)[4], unsigned version, unsigned count, const std::string& body)
{
    std::string s(magic, 4);
    put16(s, version);
    put16(s, count);
    put32(s, Utils::calcCRC32(reinterpret_cast<const unsigned char*>(body.data()), static_cast<unsigned>(body.size())));
    return s + body;
}

inline std::string scanFile(const std::vector<cardfile::ScanBlock>& blocks)
{
    std::string body;
    for (const auto& b : blocks) {
        put32(body, b.address);
        put16(body, static_cast<unsigned>(b.data.size()));
        body.append(b.data.begin(), b.data.end());
    }
    return sealed(cardfile::kScanMagic, cardfile::kScanVersion, static_cast<unsigned>(blocks.size()), body);
}

struct Port {
    int screen;
    unsigned net_ledx;
    unsigned net_rcv_num;
    std::vector<cardfile::RcvOperation> operations;
};

inline std::string operations(const std::vector<cardfile::RcvOperation>& ops)
{
    std::string s;
    for (const auto& op : ops) {
        put16(s, op.card);
        s += static_cast<char>(op.command);
        s += '\0';
        put32(s, op.address);
        put16(s, static_cast<unsigned>(op.data.size()));
        s.append(op.data.begin(), op.data.end());
    }
    return s;
}

// Ports listed screen by screen (screens 0, 1, ... in order).
inline std::string recoveryFile(const std::vector<Port>& ports)
{
    std::vector<unsigned> perScreen;
    for (const auto& p : ports) {
        if (static_cast<int>(perScreen.size()) <= p.screen)
            perScreen.resize(static_cast<size_t>(p.screen) + 1, 0);
        ++perScreen[static_cast<size_t>(p.screen)];
    }
    std::string table;
    for (unsigned n : perScreen)
        put16(table, n);
    size_t at = cardfile::kRecoveryHead + table.size() + ports.size() * cardfile::kPortRecord;
    std::string records, areas;
    for (const auto& p : ports) {
        const std::string ops = operations(p.operations);
        put16(records, p.net_ledx);
        put16(records, p.net_rcv_num);
        put32(records, static_cast<unsigned>(at));
        put32(records, static_cast<unsigned>(ops.size()));
        areas += ops;
        at += ops.size();
    }
    return sealed(cardfile::kRecoveryMagic, cardfile::kRecoveryVersion, static_cast<unsigned>(perScreen.size()),
                  table + records + areas);
}

}  // namespace cardfile_build
