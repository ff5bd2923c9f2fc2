// SPI access to the two FPGAs and to the serial flash behind each of them,
// and the mapped SoC window whose GPIO pads carry their chip selects and
// reset lines. Every transfer holds Utils::_spi_mutex, selects its one
// device by its GPIO chip select and releases every other one first.
#pragma once

#include "app/global.h"
#include "registers/fpga_regs.h"

class fpga_drv {
public:
    fpga_drv();
    // Closes the SPI nodes; the SoC window stays mapped.
    ~fpga_drv();

    // Maps the SoC window (through /dev/msys and /dev/mem) and opens the four
    // SPI nodes in mode 3, 8 bits, 10 MHz. Returns the number of nodes opened.
    // Without the window every pad word lives in the driver's own memory, so
    // writers never fault and no device is ever selected.
    int initialize();
    bool windowMapped() const { return window_ != nullptr; }
    // The FPGA's SPI node opened: a box without that FPGA has no node for it.
    bool fitted(u8 fpga) const { return fpga < fpga::kFpgas && fd_[fpga == 0 ? kNodeFpga0 : kNodeFpga1] >= 0; }
    // The 16-bit pad word at a window offset (fpga::kPad...).
    volatile u16* pad(u32 offset);

    // ---- FPGA transactions (fpga 0 or 1); false when the transfer failed.
    // A device that does not answer reads 0xFF.
    bool readRegs(u8 fpga, u8 first, u8* out, int count);
    bool writeRegs(u8 fpga, u8 first, const u8* data, int count);
    bool readRam(u8 fpga, u16 addr, u8* out, int count);
    bool writeRam(u8 fpga, u16 addr, const u8* data, int count);
    // Hands one RCV_FRAME to FPGA 0, which sends it on the port it names.
    bool sendFrame(const u8* frame, int len);
    // Reads `len` bytes of FPGA 0's oldest received frame, which is removed.
    bool receiveFrame(u8* out, int len);

    // ---- serial flashes: number 2 is the flash behind FPGA 0, any other
    // number the one behind FPGA 1.
    // Erases `count` units from 4 KB sector `sector`: kind 0 4 KB sectors,
    // 1 32 KB blocks, 2 64 KB blocks. 0 when refused (kind above 2, or the
    // range passes the flash's 2048 sectors) or when the flash failed; else 1.
    int FPGA_SPI_FLASH_VBYONE_ERASE(unsigned char flash, unsigned int sector, unsigned char kind, unsigned int count);
    // Programs `len` bytes at `addr`. The data starts 4 bytes into `buf`; the
    // 4 bytes before each 256-byte page's data are overwritten with that
    // page's program command and address, so the buffer's contents change.
    // 0 when refused (no buffer, length 0, or the range passes 8 MiB) or when
    // the flash failed; else 1.
    int FPGA_SPI_FLASH_VBYONE_WRITE(unsigned char flash, unsigned int addr, unsigned char* buf, unsigned int len);
    // Reads `len` bytes from `addr` into `out`; false when refused (the range
    // passes 8 MiB) or a transfer failed. A flash that does not answer reads 0xFF.
    bool readFlash(unsigned char flash, u32 addr, u8* out, u32 len);

    static constexpr unsigned char kFlashBehindFpga0 = 2;
    static constexpr int kFlashBufferLead = 4;

private:
    enum Node { kNodeFpga0, kNodeFpga1, kNodeFlash0, kNodeFlash1, kNodes };

    bool mapWindow();
    int openNode(const char* node);
    // One transfer with `node` selected; the caller holds Utils::_spi_mutex.
    bool transfer(int node, const u8* tx, u8* rx, u32 len);
    bool fpgaRead(u8 fpga, fpga::SpiOp op, u16 addr, u8* out, int count);
    bool fpgaWrite(u8 fpga, fpga::SpiOp op, u16 addr, const u8* data, int count);
    // Flash commands; the caller holds Utils::_spi_mutex.
    bool flashCommand(int node, u8 cmd);
    bool flashWaitReady(int node, int polls, unsigned int pause_us);
    static int flashNode(unsigned char flash);

    int fd_[kNodes];
    volatile u16* cs_[kNodes];
    u8* window_ = nullptr;
    // Pad words while the window is not mapped.
    u16 spare_pads_[(fpga::kPadRstFpga1 - fpga::kPadBlock) / 4 + 1];
};
