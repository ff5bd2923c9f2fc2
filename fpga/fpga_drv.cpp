#include "fpga/fpga_drv.h"

#include "app/utils.h"
#include "platform/platform.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <linux/spi/spidev.h>
#include <unistd.h>
#include <vector>

namespace {

// Longest transaction: a received frame behind its SPI header.
constexpr int kMaxTransfer = fpga::kSpiHeader + fpga::kRcvMaxFrame;

// Busy waits of the flashes: an erase of a 64 KB block may take seconds, a
// page program a few milliseconds.
constexpr int kErasePolls = 4000;
constexpr unsigned int kErasePauseUs = 1000;
constexpr int kProgramPolls = 400;
constexpr unsigned int kProgramPauseUs = 25;
// A flash read: its command and 24-bit address, then this many bytes at most
// per transfer.
constexpr u32 kReadHeader = 4;
constexpr u32 kReadPiece = 4096;

}  // namespace

fpga_drv::~fpga_drv()
{
    for (int fd : fd_)
        if (fd >= 0)
            platform::devClose(fd);
}

fpga_drv::fpga_drv()
{
    for (int i = 0; i < kNodes; ++i)
        fd_[i] = -1;
    std::memset(spare_pads_, 0, sizeof spare_pads_);
    for (u16& p : spare_pads_)
        p = fpga::kCsReleased;
    const u32 cs[kNodes] = {fpga::kPadCsFpga0, fpga::kPadCsFpga1, fpga::kPadCsFlash0, fpga::kPadCsFlash1};
    for (int i = 0; i < kNodes; ++i)
        cs_[i] = pad(cs[i]);
}

volatile u16* fpga_drv::pad(u32 offset)
{
    if (window_)
        return reinterpret_cast<volatile u16*>(window_ + offset);
    if (offset < fpga::kPadBlock || offset > fpga::kPadRstFpga1)
        return nullptr;
    return &spare_pads_[(offset - fpga::kPadBlock) / 4];
}

bool fpga_drv::mapWindow()
{
    int msys = platform::devOpen(fpga::kMsysNode, O_RDWR);
    if (msys < 0) {
        KEL_DBG("\n fpga: %s cannot be opened\n", fpga::kMsysNode);
        return false;
    }
    fpga::msys_window win{};
    int r = platform::devIoctl(msys, fpga::kMsysGetWindow, &win);
    platform::devClose(msys);
    if (r < 0 || win.size <= fpga::kPadRstFpga1 + sizeof(u16)) {
        KEL_DBG("\n fpga: no SoC window from %s\n", fpga::kMsysNode);
        return false;
    }
    int mem = platform::devOpen(fpga::kMemNode, O_RDWR | O_SYNC);
    if (mem < 0)
        return false;
    void* p = platform::devMmap(mem, static_cast<size_t>(win.size), static_cast<off_t>(win.addr));
    // The descriptor may go; the mapping stays for the life of the process.
    platform::devClose(mem);
    if (!p) {
        KEL_DBG("\n fpga: SoC window 0x%llx cannot be mapped\n", static_cast<unsigned long long>(win.addr));
        return false;
    }
    window_ = static_cast<u8*>(p);
    return true;
}

int fpga_drv::openNode(const char* node)
{
    int fd = platform::devOpen(node, O_RDWR);
    if (fd < 0) {
        KEL_DBG("\n fpga: can't open %s\n", node);
        return -1;
    }
    u8 mode = fpga::kSpiMode;
    u8 bits = fpga::kSpiBits;
    u32 speed = fpga::kSpiSpeedHz;
    if (platform::devIoctl(fd, SPI_IOC_WR_MODE, &mode) < 0 ||
        platform::devIoctl(fd, SPI_IOC_WR_BITS_PER_WORD, &bits) < 0 ||
        platform::devIoctl(fd, SPI_IOC_WR_MAX_SPEED_HZ, &speed) < 0)
        KEL_DBG("\n fpga: can't set up %s\n", node);
    return fd;
}

int fpga_drv::initialize()
{
    if (mapWindow()) {
        const u32 cs[kNodes] = {fpga::kPadCsFpga0, fpga::kPadCsFpga1, fpga::kPadCsFlash0, fpga::kPadCsFlash1};
        for (int i = 0; i < kNodes; ++i)
            cs_[i] = pad(cs[i]);
    }
    const char* nodes[kNodes] = {fpga::kSpiNodeFpga[0], fpga::kSpiNodeFpga[1], fpga::kSpiNodeFlash[0],
                                 fpga::kSpiNodeFlash[1]};
    int opened = 0;
    for (int i = 0; i < kNodes; ++i) {
        if (fd_[i] < 0)
            fd_[i] = openNode(nodes[i]);
        opened += fd_[i] >= 0;
    }
    return opened;
}

bool fpga_drv::transfer(int node, const u8* tx, u8* rx, u32 len)
{
    if (fd_[node] < 0)
        return false;
    for (int i = 0; i < kNodes; ++i)
        *cs_[i] = fpga::kCsReleased;
    *cs_[node] = fpga::kCsSelected;
    spi_ioc_transfer tr;
    std::memset(&tr, 0, sizeof tr);
    tr.tx_buf = reinterpret_cast<uintptr_t>(tx);
    tr.rx_buf = reinterpret_cast<uintptr_t>(rx);
    tr.len = len;
    tr.speed_hz = fpga::kSpiSpeedHz;
    tr.bits_per_word = fpga::kSpiBits;
    int r = platform::devIoctl(fd_[node], SPI_IOC_MESSAGE(1), &tr);
    *cs_[node] = fpga::kCsReleased;
    if (r < 1) {
        KEL_DBG("\n fpga: spi transfer on node %d failed\n", node);
        return false;
    }
    return true;
}

bool fpga_drv::fpgaRead(u8 fpga, fpga::SpiOp op, u16 addr, u8* out, int count)
{
    if (fpga >= fpga::kFpgas || count <= 0 || fpga::kSpiHeader + count > kMaxTransfer)
        return false;
    u8 tx[kMaxTransfer];
    u8 rx[kMaxTransfer];
    const u32 len = static_cast<u32>(fpga::kSpiHeader + count);
    std::memset(tx, 0xFF, len);
    fpga::spiHeader(tx, op, addr);
    QMutexLocker lock(&Utils::_spi_mutex);
    if (!transfer(fpga == 0 ? kNodeFpga0 : kNodeFpga1, tx, rx, len))
        return false;
    std::memcpy(out, rx + fpga::kSpiHeader, static_cast<size_t>(count));
    return true;
}

bool fpga_drv::fpgaWrite(u8 fpga, fpga::SpiOp op, u16 addr, const u8* data, int count)
{
    if (fpga >= fpga::kFpgas || count <= 0 || fpga::kSpiHeader + count > kMaxTransfer)
        return false;
    u8 tx[kMaxTransfer];
    fpga::spiHeader(tx, op, addr);
    std::memcpy(tx + fpga::kSpiHeader, data, static_cast<size_t>(count));
    QMutexLocker lock(&Utils::_spi_mutex);
    return transfer(fpga == 0 ? kNodeFpga0 : kNodeFpga1, tx, nullptr, static_cast<u32>(fpga::kSpiHeader + count));
}

bool fpga_drv::readRegs(u8 fpga, u8 first, u8* out, int count)
{
    return fpgaRead(fpga, fpga::kOpRegRead, first, out, count);
}

bool fpga_drv::writeRegs(u8 fpga, u8 first, const u8* data, int count)
{
    return fpgaWrite(fpga, fpga::kOpRegWrite, first, data, count);
}

bool fpga_drv::readRam(u8 fpga, u16 addr, u8* out, int count)
{
    return fpgaRead(fpga, fpga::kOpRamRead, addr, out, count);
}

bool fpga_drv::writeRam(u8 fpga, u16 addr, const u8* data, int count)
{
    return fpgaWrite(fpga, fpga::kOpRamWrite, addr, data, count);
}

bool fpga_drv::sendFrame(const u8* frame, int len)
{
    return fpgaWrite(0, fpga::kOpFrameSend, 0, frame, len);
}

bool fpga_drv::receiveFrame(u8* out, int len)
{
    return fpgaRead(0, fpga::kOpFrameReceive, 0, out, len);
}

// ------------------------------------------------------------------ flashes

int fpga_drv::flashNode(unsigned char flash)
{
    return flash == kFlashBehindFpga0 ? kNodeFlash0 : kNodeFlash1;
}

bool fpga_drv::flashCommand(int node, u8 cmd)
{
    return transfer(node, &cmd, nullptr, 1);
}

bool fpga_drv::flashWaitReady(int node, int polls, unsigned int pause_us)
{
    const u8 tx[2] = {fpga::flash::kCmdReadStatus, 0xFF};
    for (int i = 0; i < polls; ++i) {
        if (i > 0)
            ::usleep(pause_us);
        u8 rx[2] = {0xFF, 0xFF};
        if (!transfer(node, tx, rx, sizeof tx))
            return false;
        if (!(rx[1] & fpga::flash::kStatusBusy))
            return true;
    }
    KEL_DBG("\n fpga: flash on node %d stays busy\n", node);
    return false;
}

int fpga_drv::FPGA_SPI_FLASH_VBYONE_ERASE(unsigned char flash, unsigned int sector, unsigned char kind,
                                          unsigned int count)
{
    if (kind > 2)
        return 0;
    const uint64_t units = fpga::flash::kEraseSectors[kind];
    if (uint64_t(sector) + uint64_t(count) * units > fpga::flash::kSectors) {
        KEL_DBG("\n fpga: flash erase %u + %u x %u sectors refused\n", sector, count, unsigned(units));
        return 0;
    }
    const int node = flashNode(flash);
    QMutexLocker lock(&Utils::_spi_mutex);
    for (unsigned int i = 0; i < count; ++i) {
        const u32 addr = static_cast<u32>((sector + i * units) * fpga::flash::kSector);
        const u8 cmd[4] = {fpga::flash::kEraseCmd[kind], static_cast<u8>(addr >> 16), static_cast<u8>(addr >> 8),
                           static_cast<u8>(addr)};
        if (!flashCommand(node, fpga::flash::kCmdWriteEnable) || !transfer(node, cmd, nullptr, sizeof cmd) ||
            !flashWaitReady(node, kErasePolls, kErasePauseUs))
            return 0;
    }
    return 1;
}

int fpga_drv::FPGA_SPI_FLASH_VBYONE_WRITE(unsigned char flash, unsigned int addr, unsigned char* buf, unsigned int len)
{
    if (!buf || len == 0 || uint64_t(addr) + len > fpga::flash::kSize) {
        KEL_DBG("\n fpga: flash write of %u bytes at 0x%x refused\n", len, addr);
        return 0;
    }
    const int node = flashNode(flash);
    QMutexLocker lock(&Utils::_spi_mutex);
    unsigned int done = 0;
    while (done < len) {
        const u32 a = addr + done;
        const u32 n = std::min<u32>(fpga::flash::kPage - a % fpga::flash::kPage, len - done);
        // The page's command goes into the 4 bytes in front of its data.
        u8* p = buf + done;
        p[0] = fpga::flash::kCmdPageProgram;
        p[1] = static_cast<u8>(a >> 16);
        p[2] = static_cast<u8>(a >> 8);
        p[3] = static_cast<u8>(a);
        if (!flashCommand(node, fpga::flash::kCmdWriteEnable) || !transfer(node, p, nullptr, kFlashBufferLead + n) ||
            !flashWaitReady(node, kProgramPolls, kProgramPauseUs))
            return 0;
        done += n;
    }
    return 1;
}

bool fpga_drv::readFlash(unsigned char flash, u32 addr, u8* out, u32 len)
{
    if (!out || uint64_t(addr) + len > fpga::flash::kSize) {
        KEL_DBG("\n fpga: flash read of %u bytes at 0x%x refused\n", len, addr);
        return false;
    }
    const int node = flashNode(flash);
    std::vector<u8> tx(kReadHeader + kReadPiece, 0xFF), rx(kReadHeader + kReadPiece);
    QMutexLocker lock(&Utils::_spi_mutex);
    for (u32 done = 0; done < len;) {
        const u32 a = addr + done;
        const u32 n = std::min(kReadPiece, len - done);
        tx[0] = fpga::flash::kCmdRead;
        tx[1] = static_cast<u8>(a >> 16);
        tx[2] = static_cast<u8>(a >> 8);
        tx[3] = static_cast<u8>(a);
        if (!transfer(node, tx.data(), rx.data(), kReadHeader + n))
            return false;
        std::memcpy(out + done, rx.data() + kReadHeader, n);
        done += n;
    }
    return true;
}
