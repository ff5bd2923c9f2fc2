// The video chip manager: the one object that owns the X518 chip, its SPI
// driver, the lock and flag through which the rest of the program asks for
// changes, the worker thread that brings the chip up and then applies the
// parameter block to it, and the chip's software model.
//
// Writers elsewhere never touch the chip: they edit the parameter block under
// x518_manage::mutex and raise x518_manage::apply_flag.
//
// The software model is kept in records, each declared in its own header
// beside this one. A field keeps the name the parameter dump prints it
// under, inside its record: sys.PS_ACTHW, model.PM_INPUT, ports.PI_ACT.
//   sys    X518System         x518_system.h          system parameters (PS_): clocks, output timing of
//                                                    one output channel, transmitter layout, memory map
//   model  X518WindowModel    x518_window_model.h    the windows: PM_ tables, win_info and wincnt, the
//                                                    multi-window presets, IWIN and OWIN, the window
//                                                    programming state and the change flags (win_chg,
//                                                    g_chg_input, g_chg_dbd ...)
//   ports  X518InputPorts     x518_input_ports.h     input ports (PI_): reported and measured timing,
//                                                    state, active area, change requests, port_status,
//                                                    the per-port picture-processing levels
//   ich    X518InputChannels  x518_input_channels.h  input-channel owners (ich_win, win_ich) and the
//                                                    dot-by-dot memory pool
//   pnl    X518Panel          x518_panel.h           the output panel geometry the panel
//                                                    initialisation computes
//   osd    X518Osd            x518_osd.h             fonts and bitmap in the serial flash, the OSD
//                                                    plane, PM_OSD_ and the OSD requests
// The chip itself (drv, spi_fd, init_state, font_flags, the pattern flag)
// and the dispatcher's copy of the applied block stay on the manager.
//
// The operations live one area to a file: x518_manage.cpp (object, thread,
// bring-up), _param (system parameters, default model), _init (initial
// load, register-update window), _timing (timing blocks, dot-by-dot memory,
// input and output windows), _apply (dispatcher), _input (input ports),
// _ich (input channels), _service (service sequences), _dump (diagnostic
// dumps, register listing), _flash (serial flash and fonts) and _pending
// (operations whose work is not built yet).
#pragma once

#include "app/global.h"
#include "app/ram_para.h"
#include "app/tick_pacer.h"
#include "videochip/x518_drv.h"
#include "videochip/x518_input_channels.h"
#include "videochip/x518_input_ports.h"
#include "videochip/x518_osd.h"
#include "videochip/x518_panel.h"
#include "videochip/x518_regs.h"
#include "videochip/x518_system.h"
#include "videochip/x518_window_model.h"

#include <QMutex>
#include <atomic>
#include <vector>

// 1 once the chip manager has initialised the output panel at bring-up.
extern std::atomic<u8> g_fpga_x518_start;

// One entry of the full register listing: bank, first address, width.
struct X518_REG_ENTRY {
    u8 bank;
    u8 address;
    u8 width;
};

class x518_manage {
public:
    static constexpr int kWindows = x518::kWindows;
    static constexpr int kChannels = x518::kChannels;
    static constexpr int kPorts = x518::kPorts;
    static constexpr int kCmosPorts = x518::kCmosPorts;
    static constexpr int kNone = -1;
    static constexpr u8 kRunningState = 8;
    static constexpr int kProbeGoodReads = 5;
    // Ticks between passes while the chip is up and nothing is asked of the
    // manager; a raised apply flag or a new input timing wakes it at once.
    static constexpr int kIdleWatchTicks = 5;
    static constexpr int kMwinPresets = X518WindowModel::kMwinPresets;
    static constexpr int kParamEntries = 160;
    static constexpr int kDbdBlocks = X518InputChannels::kDbdBlocks;
    static constexpr int kDbdBlocksPerWindow = X518InputChannels::kDbdBlocksPerWindow;
    static constexpr int kFields = x518::kFields;
    static constexpr int kNoPort = 6;           // PM_INPUT of a window without input
    static constexpr u32 kPortNone = 255;       // an input or port that maps to nothing
    static constexpr u32 kLedParaWaitMs = 2000; // longest wait for the FPGA side's LED set-up
    static bool portValid(int port) { return port >= 0 && port < kPorts; }

    static x518_manage* p_x518_manage;

    // Guards writes of the parameter block together with apply_flag; the
    // manager holds it for a whole apply pass. First in the lock order.
    static QMutex mutex;
    // 1 = apply the block, 2 = apply and synchronise the user-mode files.
    static std::atomic<u8> apply_flag;

    // ---------------------------------------------------------- object and thread
    // Creates the manager on the first call, resets its request flags, opens
    // the chip and starts the worker thread. Start-up calls it once.
    static x518_manage* pInstance();
    // Starts the manager thread's next pass now (any thread).
    static void wake() { worker.wake(); }
    static PacedWorker worker;
    // Ticks until the next pass is due: one while bringing the chip up or
    // applying, more while only watching the inputs.
    int passDueTicks() const;
    // The first half of pInstance(): the object without the chip or thread.
    static x518_manage* prepareInstance();
    // Opens the chip and starts the thread; 0, or 255 when no thread started.
    i32 initialize();
    // Opens and configures the chip's SPI device and reads its identity once.
    void openChip();
    // Starts the worker thread: 0, or 255 when it could not be created.
    i32 startThread();
    // Ends the worker thread and waits for it (tests only; the box never stops it).
    void stopThread();
    // One pass of the worker: a bring-up step in states 0-7, the apply
    // dispatcher from state 8 on.
    void runPass();
    static void Sleep(int ms);

    // ---------------------------------------------------------- system parameters, default windows
    void load_system_param();
    void define_param();
    i32 load_param();

    // ---------------------------------------------------------- initial load, update window
    void write_initial_setting(int fd, int full);
    void set_rtct(int fd, int mode);

    // ---------------------------------------------------------- timing blocks
    void set_input_bkg(int fd, int port, int on);
    void set_input_bkg2(int fd, int window, int on);
    void set_pict(int fd, int on, int path);
    // 0, or -1 when the receiver neither locked nor measured a frame in time.
    int set_VBORXfrange(int fd, int receiver, float pixelClock, int toggle);
    void set_sypol(int fd, int vbo, int index);
    void set_VBOInput(int fd, int receiver);
    // 0 when the frame came (or the channel reports no input), -1 on a time-out.
    int wait1_pivs(int fd, int channel);
    int wait1_pivs2(int fd);
    // The new field (0-3), or -1 when it did not change in time.
    int wait_ifld_change(int fd, int channel);
    int wait_ofld_change(int fd, int channel);
    void reset_dbd_mem(int window);
    int check_dbd_input(int fd, int port);
    int set_dbd_mem(int fd, int window);
    void calc_iwin2(int window);
    void calc_owin2(int window);
    void calc_iwin();
    void calc_owin();
    bool kelApi_IsPatternGen() const { return pattern_gen.load() != 0; }
    static bool kelApi_IsWinValid(int window) { return window >= 0 && window < kWindows; }

    // ---------------------------------------------------------- apply dispatcher
    // One pass of the running chip: the apply half when apply_flag is set,
    // then the watch half over the input ports.
    static void x518managerdeal(void* manager);

    // ---------------------------------------------------------- input ports
    static u32 kelApi_inputCvtX518(int input);
    static u32 kelApi_GetPortDevId(int port);
    u32 kelApi_GetWinDbdMultiPort(int window, int* ports) const;
    void load_hdmi();
    void check_input_port(int fd);
    void check_port_valid(int fd);
    static void x518_SetInputsource(u32 window, int input);

    // ---------------------------------------------------------- input channels
    i32 check_ich_all(u32 window);
    i32 check_ich(u32 need_ich14, u32 pair) const;
    u32 adjust_ich(u32 need_ich14, u32 pair, u32 window);
    i32 set_input(u32 window, u32 port);
    void reset_ich(u32 window);
    void set_idual(int fd, int channel, u32 enable, u32 port);
    void set_ichsel(int fd, u32 window);
    // Rebuilds every window's channel list from the channel owners.
    void rebuildWinIch();

    // ---------------------------------------------------------- service sequences
    void input_slidebar(int fd);
    void output_slidebar(int fd);
    void disable_slidebar(int fd);
    void vbyone_rx_ch1_seq(int fd);
    void vbyone_rx_ch2_seq(int fd);
    void read_x518_b174bug(int fd);
    void write_read_x518_b80_iacthstch5(int fd);
    void sync_x518_device_test_input(int fd);
    void sync_x518_device_test_frame_lock(int fd);

    // ---------------------------------------------------------- diagnostic dumps (printed whatever g_debugSwitch says)
    void x518_print();
    static const std::vector<X518_REG_ENTRY>& x518_print_list();
    void kelDbg_x518_print_regGrp(int group);
    void kelDbg_x518_param();
    void kelDbg_x518_param(int group);
    void x518_outputTimmingCtrlReg(u32 low, u32 high);
    void x518_calc_PixelCLK();
    void x518_debugEnv() {}

    // ---------------------------------------------------------- fonts in the chip's serial flash
    void load_char();
    void read_x518_font(int fd);
    void update_font(int fd);

    // ---------------------------------------------------------- operations whose work lands later
    // Until then each says so once and does nothing.
    i32 kelApi_PnlInit2(int ledW, int ledH, int out1w, int out1h, int splice);
    void set_output(int fd);
    static void x518_SetBrightness(u16 value);
    static void x518_SetContrast(int value);
    static void x518_SetSharpness(int value);
    static void x518_SetSaturation(int value);
    static void x518_SetColorTemp(int packed);
    void kelApi_forceColorDisable(int fd);
    void x518_SetWinPriority(u32 window, int layer);
    void x518_SetWinPriority1(int fd);
    void x518_SetWinAttr(u8 window, int attribute);
    void x518_SetInputsourceCrop(int window, u32 cropWord);
    void x518_SetCrop(char window, char enable, ST_RECT* rect);
    void x518_SetWinOutput(int fd, u8 window, int flags);
    void x518_SetWinDbdMode(int fd, u8 window, int mode);
    u32 x518_SetPattern(u32 pattern);
    void kelApi_initEnvX518();
    void kelApi_MultiWinChAlloc(char init);
    void kelApi_MultiWinChInit();
    i32 kelApi_OsdSet(int option, int value);
    void set_osd(int fd, int mode);
    void set_scroll(int fd);
    void update_osd(int fd);
    void kelApi_updateCrop(int port);
    // Reads /data/configs/omenu.json into the overlay list and applies it.
    void load_overlay_file();

    // ---------------------------------------------------------- the chip
    x518_drv* drv = nullptr;
    i32 spi_fd = -1;
    std::atomic<u8> init_state{0};
    u32 font_flags = 0;
    std::atomic<u32> pattern_gen{0};  // non-zero while a built-in test pattern is shown

    // ---------------------------------------------------------- serial flash and fonts
    // The serial flash behind the chip's serial-flash controller (fonts, OSD
    // bitmap). Its operations run on the manager thread, the link threads
    // and the USB-upgrade worker. flash_mutex spans each whole erase, write,
    // read, DMA and font load. Lock order: x518_manage::mutex, then
    // Utils::_led_para_init_mutex or Utils::_bri_set_mutex, then flash_mutex,
    // then Utils::_x518_bnk_mutex, then Utils::_spi_mutex: a holder of any of
    // the first three may take it; a flash operation itself takes only the
    // last two (each register access), never one of the first three.
    static QMutex flash_mutex;
    static constexpr u32 kFlashSize = 32u << 20;
    static constexpr u32 kFlashSector = 4096;
    static constexpr int kFontHeaderSize = 35;
    enum EraseKind : char { kErase4K = 0, kErase32K = 1, kErase64K = 2 };
    // Results of the flash operations: 0 done; refused arguments (nothing
    // touched); the controller did not finish in time.
    enum FlashResult : int { kFlashOk = 0, kFlashBadArgs = 1, kFlashTimeout = 2 };
    // Longest waits for the controller; a wait that runs out fails the
    // operation. Page programs and read starts count status reads (a page
    // program ends within a few ms); erases and DMA copies are timed.
    struct FlashWaits {
        int pageReads;  // each page-end and write-disable wait of a write, and the read start
        int eraseMs;    // one erase unit, its WIP and write-disable waits together
        int dmaMs;      // one DMA copy
    };
    static FlashWaits flash_waits;

    // Erases `count` units from flash byte address sector x 4096; kind 0
    // 4 KB, 1 32 KB, any other 64 KB units. A start inside a unit or a range
    // past the flash is refused.
    int erase_flash(int fd, int sector, int count, char kind);
    // Programs `length` bytes at `address` (the area must be erased).
    int write_flash(int fd, int address, int length, char* data);
    // Reads `length` bytes from `address` into `buffer`.
    int read_flash(int fd, int address, int length, char* buffer);
    // The controller copies `length` bytes from the flash to a destination
    // of `kind`: 0 chip memory, 1 OSD string area, 4 OSD colour table.
    int osd_write_dma_sfl(int fd, int flashAddress, int destination, int kind, int length);
    // update_font() with its result: 0, or kFlashTimeout when a copy failed.
    int load_fonts(int fd);
    void load_bmp();
    // Prints the 32-dot glyph of a code point from the flash (diagnostics).
    void kelApi_debug_printf_unicode(int code, int fd);

    // Flash map of the fonts and the OSD bitmap (entries of the flash header).
    static const i32 osd_char_txt[15];
    static const i32 osd_bmp_txt[4];

    // ---------------------------------------------------------- the chip's software model
    X518System sys;         // system parameters (PS_), x518_system.h
    X518WindowModel model;  // windows, their change flags, presets (PM_, win_info), x518_window_model.h
    X518InputPorts ports;   // input ports (PI_), x518_input_ports.h
    X518InputChannels ich;  // input-channel owners and dot-by-dot memory, x518_input_channels.h
    X518Panel pnl;          // output panel, x518_panel.h
    X518Osd osd;            // fonts, OSD plane and its requests, x518_osd.h

    // ---------------------------------------------------------- apply dispatcher
    // The block as the last apply pass saw it: what the chip and the other
    // managers were given. Changes are found against it rather than against
    // the store's shadow, which the change notifier refreshes on its own
    // schedule and which may already hold a write no pass has applied.
    KEL_RAM_PARA applied{};
    u32 led_para_wait_ms = kLedParaWaitMs;

    // ---------------------------------------------------------- the default window model's table
    static const i32 parameters_txt[kParamEntries];

private:
    x518_manage();
    const KEL_RAM_PARA& block() const;
    void probe();
    void bringUpLoad();
    void bringUpPanel();
    void bringUpPicture();
    // serial flash
    void gioSetting(int fd, bool trace);
    bool flashPageEnd(int fd);
    bool flashEraseUnit(int fd, u32 address, u8 opcode);
    int readFlashLocked(int fd, u32 address, u32 length, char* buffer);
    int dmaLocked(int fd, u32 flashAddress, u32 destination, int kind, u32 length);
    bool clearWriteEnable(int fd, bool timed, int limit);
    void fillMwinPresets();
    template <class T>
    void copyParam(T& member, i32 value, i32& changed);
    int portOf(int window) const;
    void seedApplied();
    // apply half
    void applyHalf();
    void applyPanel(const KEL_RAM_PARA& now, const KEL_RAM_PARA& was);
    void waitLedSetup();
    void applyPicture(const KEL_RAM_PARA& now, const KEL_RAM_PARA& was);
    void applyPriorities(const KEL_RAM_PARA& now, const KEL_RAM_PARA& was);
    void applyWindows(const KEL_RAM_PARA& now, const KEL_RAM_PARA& was);
    void applySourceChange(const KEL_RAM_PARA& now, int window, u16 was, u16 source);
    void applyFades(const KEL_RAM_PARA& now, const KEL_RAM_PARA& was);
    void applyEdid(const KEL_RAM_PARA& now, const KEL_RAM_PARA& was);
    void serveRegisterRequests();
    void relayout();
    // watch half
    void watchHalf();
    // input ports
    int windowOfPort(int port) const;
    bool recordChanged(u32 dev) const;
    void checkPort(int fd, int port);
    void portLost(int fd, int port, const ST_PI_PORT_INFO& old);
    void portChanged(int fd, int port);
    bool vboLanesLocked(int fd, int port);
    void vboReset(int fd, int receiver, u32 laneMask, bool frange);
    void stepVboRetry(int receiver);
    void measurePort(int fd, int port, ST_PI_PORT_INFO& info);
    void dropInput(u32 window);
    // input channels
    bool windowAvailable(int window) const;
    int windowCost(int window) const;
    int moveOccupant(int channel, const int* list, int count);
    // dumps
    void refreshHdmi20Record();
    int firstIch(int window) const { return ich.win_ich[window][0]; }
    u32 takeDbdBlocks(int window, int count, bool fromTop, int& got);


    bool applied_seeded_ = false;
};
