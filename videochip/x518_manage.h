// The video chip manager: the one object that owns the X518 chip, its SPI
// driver, the software model of the chip (system parameters, window, channel
// and port bookkeeping), the lock and flag through which the rest of the
// program asks for changes, and the worker thread that brings the chip up
// and then applies the parameter block to it.
//
// Writers elsewhere never touch the chip: they edit the parameter block under
// x518_manage::mutex and raise x518_manage::apply_flag.
#pragma once

#include "app/global.h"
#include "app/ram_para.h"
#include "app/tick_pacer.h"
#include "videochip/x518_drv.h"
#include "videochip/x518_regs.h"

#include <QMutex>
#include <atomic>
#include <vector>

// 1 once the chip manager has initialised the output panel at bring-up.
extern std::atomic<u8> g_fpga_x518_start;

// A rectangle of the chip: start and size.
struct _ImageWindowDef_st {
    i32 hst;
    i32 hw;
    i32 vst;
    i32 vw;
};

// A window of the chip on the output-channel canvas.
#pragma pack(push, 1)
struct ST_WIN_INFO {
    i16 x, y, w, h;
    u8 mirror;       // bit 0 horizontal, bit 1 vertical
    u8 output;       // bit 0 black, bit 1 freeze
    u8 enable;
    u8 input;        // source number as the parameter block gives it
    u8 crop;         // index into KEL_RAM_PARA.crop_list
    u8 layer;        // 0 = top
    u8 och[16];      // two lists of eight output channels
    u8 h_cnt, v_cnt; // output channels across and down
};
#pragma pack(pop)
static_assert(sizeof(ST_WIN_INFO) == 32, "ST_WIN_INFO is 32 bytes");

// A window rectangle of a multi-window preset.
struct ST_MWIN_RECT {
    i32 x, y, w, h;
};
static_assert(sizeof(ST_MWIN_RECT) == 16, "a preset window record is 16 bytes");

// A multi-window preset: window count and its rectangles.
struct ST_MWIN {
    i32 wincnt;
    ST_MWIN_RECT* pwin;
};

// The last accepted copy of a port's reported timing (the receiver record
// without its `changed` word).
struct ST_PI_HDMI_INFO {
    i32 Hact, Hsync, Hback, Hpol, Htotal;
    i32 Vact, Vsync, Vback, Vpol, Vtotal;
    float pfreq;  // pixel clock, Hz
    i32 type;
    i32 datamode;
    i32 lane;
    i32 ip;        // 1 interlaced
    i32 nosignal;  // 1 no signal
};

// The chip's own measurement of an input port, 12 words.
struct ST_PI_PORT_INFO {
    i32 htt;   // total pixels per line
    i32 vtt;   // total lines
    i32 fhw;   // line period in reference-clock counts
    i32 fvm;   // frame period in reference-clock counts
    i32 hw;    // active width
    i32 state;
    i32 spare[4];
    i32 nosig;       // 1 no signal
    i32 need_ich14;  // 1 interlaced: only input channels 0-3 (the de-interlacers) will do
};

// A crop rectangle in source pixels.
struct ST_RECT {
    i32 x, y, w, h;
};

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
    static constexpr int kMwinPresets = 10;
    static constexpr int kParamEntries = 160;
    static constexpr int kDbdBlocks = 6;
    static constexpr int kDbdBlocksPerWindow = 4;
    static constexpr int kFields = 5;
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
    i32 kelApi_OsdSetUnicode(int lines, int* lengths, wchar_t texts[][128]);
    void set_osd(int fd, int mode);
    void set_scroll(int fd);
    void update_osd(int fd);
    void kelApi_updateCrop(int port);
    // Reads /data/configs/omenu.json into the overlay list and applies it
    // (videochip/omenu.cpp).
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

    // Flash map of the fonts and the OSD bitmap, from osd_char_txt / osd_bmp_txt.
    u32 PS_CHAR_ADDR_32ASCII = 0, PS_CHAR_ADDR_32CHN = 0, PS_CHAR_ADDR_64ASCII = 0, PS_CHAR_ADDR_64CHN = 0;
    u32 PS_CHAR_SIZE_32ASCII = 0, PS_CHAR_SIZE_32CHN = 0, PS_CHAR_SIZE_64ASCII = 0, PS_CHAR_SIZE_64CHN = 0;
    // Chip-memory address of each loaded font.
    u32 g_font_addr_32ASCII = 0, g_font_addr_32CHN = 0, g_font_addr_64ASCII = 0, g_font_addr_64CHN = 0;
    u32 PS_BMP_ADDR = 0, PS_BMP_HACT = 0, PS_BMP_VACT = 0, PS_BMPCP_ADDR = 0;
    u32 PS_BG_HACT = 0, PS_BG_VACT = 0;
    u32 PS_BG_COLOR = 0, PS_CHAR_COLOR = 0;  // 0xBBGGRR
    u32 PS_BG_TRANS = 0;                     // 1 = transparent background
    u32 PS_CHAR_HST = 0, PS_CHAR_VST = 0;
    static const i32 osd_char_txt[15];
    static const i32 osd_bmp_txt[4];

    // ---------------------------------------------------------- system parameter record
    u32 PS_CLK_SYS = 0;     // Hz
    u32 PS_CLK_MEM = 0;     // Hz
    u32 PS_CLK_MEM_Q = 0;   // a quarter of PS_CLK_MEM
    u32 PS_CLK_REF = 0;     // Hz, reference of the PLLs and measurements
    u32 PS_CLK_REF2 = 0;    // Hz
    u32 PS_ACTHW = 0, PS_ACTVW = 0, PS_HTOTAL = 0, PS_VTOTAL = 0;
    u32 PS_HSW = 0, PS_HBP = 0, PS_VSW = 0, PS_VBP = 0;
    u32 PS_VBOTX_MODE = 0, PS_VBOTX_LAYOUT = 0;
    u32 PS_PLL[9] = {};
    u32 PS_MEM_SC[kChannels][kFields] = {};
    u32 fb_pitch = 0;
    u32 PS_DBD_BASE[kFields] = {};
    u32 PS_DBD_BLOCK = 0;
    u32 PS_SPARE = 0;
    u32 PS_MEM_IP_I[kCmosPorts][2] = {};
    u32 PS_MEM_IP_P[kCmosPorts][2] = {};
    u32 PS_MEM_IPYOFF[kCmosPorts] = {};
    u32 PS_MEM_MV[kCmosPorts] = {};
    u32 PS_MWI_IP[kCmosPorts] = {};
    u32 PS_VBO_LANE_SW[12] = {};  // PS_VBO_2LANE, PS_VBO_4LANE, PS_VBO_8LANE switches
    u32 PS_SFL_ADDR = 0, PS_MEM_OSD = 0, PS_MEM_OSD1 = 0, PS_FONT_ADDR = 0;
    // derived
    u32 PS_ACTHST = 0, PS_ACTVST = 0;
    u32 PS_OAOIHST = 0, PS_OAOIHED = 0, PS_OAOIVST = 0, PS_OAOIVED = 0;
    u32 PS_PANEL_HW = 0, PS_PANEL_VW = 0, PS_PANEL_HSHAPE = 0, PS_PANEL_VSHAPE = 0;

    // ---------------------------------------------------------- multi-window presets
    ST_MWIN mwin_preset[kMwinPresets] = {};
    ST_MWIN_RECT mwin_preset_rect[kMwinPresets][kWindows] = {};

    // ---------------------------------------------------------- default window model
    i32 PM_WIN_SHAPE[kWindows][2] = {};
    i32 PM_INPUT[kWindows] = {};
    i32 PM_WIN_OFFSET[kWindows][4] = {};
    i32 PM_INPUT_OFFSET[kWindows][4] = {};
    i32 PM_INPUT_OFFSET_EN[kWindows] = {};
    i32 PM_WIN_NUM[kChannels] = {};
    i32 PM_AREA_NUM[kChannels] = {};
    i32 PM_OVERLAY[kChannels] = {};
    i32 PM_OVERLAY_PRI[kWindows] = {};
    i32 win_mirror_h[kWindows] = {};
    i32 win_mirror_v[kWindows] = {};
    i32 PM_WIN_FADE_EN[kWindows] = {};
    i32 PM_WIN_FADE_IN[kWindows] = {};
    i32 PM_WIN_FADE_OUT[kWindows] = {};
    i32 PM_WIN_DBD_MODE[kWindows] = {};
    i32 PM_WIN_DBD_CLIP[kWindows] = {};  // clip the input window to the output window
    i32 PM_OSD_EN = 0, PM_OSD_HZOOM_EN = 0, PM_OSD_VZOOM_EN = 0, PM_OSD_DATA_MODE = 0, PM_OSD_SCROLL_MODE = 0;
    i32 PM_OSD_OUTPUT_OFFSET[4] = {};
    i32 PM_OSD_INPUT_OFFSET[4] = {};
    i32 PM_SWITCH[2] = {};  // the two further switches of the default model
    i32 PM_OSD_UPDATE_BUTTON = 0;
    i32 PM_WIN_STITCHING[kWindows] = {};
    i32 PM_OSD_CHAR_64DOT = 0, PM_OSD_SCROLL_SPEED = 0;

    // change flags of the model (1 = changed)
    i32 win_chg[kWindows] = {};
    i32 g_chg_input[kWindows] = {};  // input change code: 1 set/reported, 2 lost channel, 3 re-measured
    i32 win_attr_chg[kWindows] = {};
    i32 win_fade_chg[kWindows] = {};
    i32 g_chg_dbd[kWindows] = {};
    i32 overlay_chg = 0, priority_chg = 0;
    i32 osd_reset = 0, osd_redraw = 0;
    i32 switch_chg[2] = {};

    // ---------------------------------------------------------- image processing of the CMOS inputs
    i32 PM_HNR[kCmosPorts] = {}, PM_VNR[kCmosPorts] = {}, PM_TNR[kCmosPorts] = {}, PM_BNR[kCmosPorts] = {};
    i32 PM_MNR[kCmosPorts] = {}, PM_COMB[kCmosPorts] = {}, PM_IPEN[kCmosPorts] = {}, PM_DIAG[kCmosPorts] = {};
    i32 PM_MVFLT[kCmosPorts] = {}, PM_22PD[kCmosPorts] = {}, PM_23PD[kCmosPorts] = {};
    i32 PM_22PDSQTH[kCmosPorts] = {}, PM_23PDSQTH[kCmosPorts] = {}, PM_24SF[kCmosPorts] = {};
    i32 PM_IACTHST[kPorts] = {}, PM_IACTVST[kPorts] = {};

    // ---------------------------------------------------------- window and channel bookkeeping
    i32 win_number[kWindows] = {};
    i32 win_ich[kWindows][kChannels] = {};       // input channels, -1 ends the list
    i32 win_ich_prev[kWindows][kChannels] = {};
    i32 win_dbd_blk[kWindows][kDbdBlocksPerWindow] = {};
    i32 win_level[kWindows] = {};
    i32 fb_ring[kWindows][kFields] = {};
    i32 win_frozen[kWindows] = {};
    i32 win_enable[kWindows] = {};
    u8 win_flag[kWindows] = {};
    i32 win_state[kWindows] = {};                // owned by the window programming; 1 at construction
    i32 ich_win[kChannels] = {};
    i32 ich_win_prev[kChannels] = {};
    i32 ich_rec[kChannels][4] = {};
    i32 ich_state[kChannels] = {};
    i32 dbd_pool[kDbdBlocks] = {};               // window holding each block, -1 free
    u32 dbd_fb_base[kWindows][kFields] = {};
    u32 dbd_pitch[kWindows] = {};
    ST_WIN_INFO win_info[kWindows] = {};
    _ImageWindowDef_st IWIN[kWindows] = {};
    _ImageWindowDef_st OWIN[kWindows] = {};

    // ---------------------------------------------------------- input ports
    ST_PI_HDMI_INFO PI_HDMI_INFO[kPorts] = {};
    ST_PI_PORT_INFO PI_PORT_INFO[kPorts] = {};
    i32 PI_STATE[kPorts] = {};
    i32 PI_SCAN_MODE[kPorts] = {};
    i32 PI_UPDATE[kPorts] = {};
    i32 g_chg_hdmi[kPorts] = {};
    i32 PI_ACT[kPorts][4] = {};
    i32 port_act[kPorts][4] = {};
    double PI_FPICLK[kPorts] = {};
    double PI_FH[kPorts] = {};
    double PI_FV[kPorts] = {};
    i32 PI_HTOTAL[kPorts] = {};
    i32 PI_VTOTAL[kPorts] = {};
    double PI_IFH[kPorts] = {};
    double PI_IFV[kPorts] = {};
    u8 vbo_retry[x518::kVboReceivers] = {};
    u32 port_status[kPorts] = {};  // bit 7 probe for loss of signal, bit 0 no signal
    // Windows in use; the window geometry sets it, all six until then.
    i32 wincnt = kWindows;

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
    int applyEdid(const KEL_RAM_PARA& now, const KEL_RAM_PARA& was, bool& pending);
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
    int firstIch(int window) const { return win_ich[window][0]; }
    u32 takeDbdBlocks(int window, int count, bool fromTop, int& got);


    bool applied_seeded_ = false;
};
