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
//                                                    plane, PM_OSD_, the OSD engine's text, window
//                                                    and pitch, and the OSD requests
// The chip itself (drv, spi_fd, init_state, font_flags, the pattern flag)
// and the dispatcher's copy of the applied block stay on the manager.
//
// Chip windows and block windows. Every per-window table of the model
// (win_info, PM_, the change flags) is indexed by chip window: the packed
// record the multi-window environment made of the block's windows in use,
// in window order (windows 0 and 2 shown, 1 not: chip windows 0 and 1).
// recordOfWindow() maps a block window to its chip window (-1: not shown,
// or the default environment stands); the dispatcher maps before it calls
// a setter, and every setter takes a chip window.
//
// Re-layout and change flags. A re-layout (the panel initialisation, or a
// window's enable word, x, y, w or h changed) rebuilds the environment and
// the channel allocation and must make the next window programming pass
// program every window it moved. It raises: win_chg of every chip window
// in use (the default window included), win_attr_chg of all six (mirrors
// are re-taken by chip window), overlay_chg (the mixers are re-assigned),
// and g_chg_input of a chip window whose input port changed. A block window
// that stays shown keeps what its chip window held under its new number
// (input channels, dot-by-dot memory, frame-buffer ring, its wait for
// channels: carryChipWindows). The dispatcher runs the pass after it; so
// does the bring-up, and the apply pass after a panel initialisation.
//
// Crops. A source change to or from a crop stores the crop's margins
// (storeCrop) and leaves the programming to the source setter: one pass,
// with the new input and the new margins (and the window's fade, when it
// has one). x518_SetCrop on its own flags the window and programs it. Every
// path that measures a stored crop (x518_SetCrop, kelApi_updateCrop, the
// re-layout) clamps it the same way (clampCrop): a crop past the input's
// right or bottom edge shows the input's whole width or height.
//
// The operations live one area to a file: x518_manage.cpp (object, thread,
// bring-up and the wait for its windows, the clients' fence), _param
// (system parameters, default model), _init (initial load, register-update
// window), _timing (timing blocks, dot-by-dot memory,
// input and output windows), _apply (dispatcher), _input (input ports),
// _ich (input channels), _ipproc (input-channel picture processing),
// _picture (picture and window setters), _pattern (test patterns),
// _geometry (window geometry, crops), _output (the window programming
// pass, active areas), _capture (a window's input side), _och (its output
// side), _layers (mixers, fades, picture hold, output-frame waits), _panel
// (output panel; the channel timing list in x518_och_timing), _env
// (multi-window environment, output-channel allocation), _service (service
// sequences), _dump (diagnostic dumps, register listing), _flash (serial
// flash and fonts) and _osd (the OSD engine and the redraw of its plane);
// omenu.cpp reads and applies the overlay file. Groups of register writes
// go through X518Batch (x518_reg_batch.h); the frame waits read their flag
// where X518FrameGrid (x518_frame_grid.h) places the reads.
#pragma once

#include "app/apply_handover.h"
#include "app/global.h"
#include "app/ram_para.h"
#include "app/tick_pacer.h"
#include "registers/x518_regs.h"
#include "videochip/x518_drv.h"
#include "videochip/x518_frame_grid.h"
#include "videochip/x518_input_channels.h"
#include "videochip/x518_input_ports.h"
#include "videochip/x518_osd.h"
#include "videochip/x518_panel.h"
#include "videochip/x518_system.h"
#include "videochip/x518_window_model.h"

#include <QMutex>
#include <atomic>
#include <chrono>
#include <initializer_list>
#include <vector>

// 1 once the chip manager has initialised the output panel at bring-up.
extern std::atomic<u8> g_fpga_x518_start;
// 1 while the bring-up paints the forced background colour, 2 once released.
extern std::atomic<u8> g_force_bkcolor;

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
    // A word of a port's measurement record the panel set-up cleared (all
    // ones) and no measurement has filled since.
    static constexpr i32 kUnmeasured = -1;
    static constexpr u8 kRunningState = 8;
    static constexpr int kProbeGoodReads = 5;
    // Ticks between a pass whose SPI messages failed and the next try: the
    // bring-up then starts again from the probe, at most once a second.
    static constexpr u32 kRetryTicks = 100;
    // Ticks between passes while the chip is up and nothing is asked of the
    // manager: the ports are measured as often as the input-source manager
    // polls the inputs. A raised apply flag or a new input timing wakes it
    // at once.
    static constexpr int kIdleWatchTicks = 10;
    // Ticks after entering running mode that a bring-up waits at most for
    // its windows to show their inputs again (followRestore): as many idle
    // watch passes as a V-by-One receiver without lock is reset before its
    // retry count starts over (3 s). A port that locks is measured and its
    // windows programmed at the first watch pass; an input that reports a
    // signal the chip never measures holds register 37 bit 4 and the fence
    // no longer than this.
    static constexpr u32 kRestoreTicks = X518InputPorts::kVboRetryWrap * kIdleWatchTicks;
    static constexpr int kMwinPresets = X518WindowModel::kMwinPresets;
    static constexpr int kParamEntries = 160;
    // Where the OSD part of parameters_txt begins, and its update switch.
    static constexpr int kOsdParamFirst = 144;
    static constexpr int kOsdUpdateButtonParam = 159;
    static constexpr int kDbdBlocks = X518InputChannels::kDbdBlocks;
    static constexpr int kDbdBlocksPerWindow = X518InputChannels::kDbdBlocksPerWindow;
    static constexpr int kFields = x518::kFields;
    static constexpr int kNoPort = 6;            // PM_INPUT of a window without input
    static constexpr int kNoWindow = kWindows;   // PM_WIN_NUM of an output channel no window uses
    static constexpr u32 kPortNone = 255;        // an input or port that maps to nothing
    static constexpr u32 kLedParaWaitMs = 2000;  // longest wait for the FPGA side's LED set-up
    static bool portValid(int port) { return port >= 0 && port < kPorts; }

    static x518_manage* p_x518_manage;

    // Guards writes of the parameter block together with apply_flag; the
    // manager holds it for a whole apply pass. First in the lock order
    // (docs/threads.md). Both are the block's hand-over (app/apply_handover.h).
    static inline QMutex& mutex = ApplyHandover::mutex;
    // 1 = apply the block, 2 = apply and synchronise the user-mode files.
    static inline std::atomic<u8>& apply_flag = ApplyHandover::flag;

    // ---------------------------------------------------------- object and thread
    // Creates the manager on the first call, resets its request flags, opens
    // the chip and starts the worker thread. Start-up calls it once.
    static x518_manage* pInstance();
    // Stops the worker and closes the chip; p_x518_manage is null again
    // when it was this one. The box never drops its manager; tests do.
    ~x518_manage();
    static inline PacedWorker& worker = ApplyHandover::worker;
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
    // dispatcher from state 8 on. A pass in which a message to the chip
    // failed does not count: the bring-up starts again from the probe once
    // kRetryTicks have passed (passes before then do nothing).
    void runPass();
    // True while the manager exists and its chip is not in running mode
    // with its windows back: being brought up, not answering, or in running
    // mode before every shown window whose input carries a signal shows it
    // again (at most kRestoreTicks). The device information page and
    // register 37 bit 4 show it.
    static bool chipDown();
    static void Sleep(int ms);

    // ---------------------------------------------------------- system parameters, default windows
    void load_system_param();
    void define_param();
    i32 load_param();
    // The OSD as a start leaves it, shown anew at the next pass: for an
    // overlay that has no description to show.
    void osdAsStarted();

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
    int check_dbd_input(int fd, int port) const;
    int set_dbd_mem(int fd, int window);
    void calc_iwin2(int window);
    void calc_owin2(int window);
    // Where the window lies on its output channels (OWIN as a window that is
    // not dot by dot has it).
    _ImageWindowDef_st windowPlace(int window) const;
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

    // ---------------------------------------------------------- input-channel picture processing
    // The chain of input channels 0-3 (de-interlacer, noise reducers,
    // diagonal interpolation, comb and motion filters), programmed from the
    // port's state and levels; on channels 4-7, or for a port that is no
    // chip port, these write nothing.
    void set_ip(int fd, int channel);
    void set_ipregs(int fd, int channel, int port);
    void set_nr(int fd, int channel, int port);
    void set_nr_block(int fd, int channel, int port);
    void set_nr_b_480i(int fd, int channel, int port);
    void set_nr_b_480p(int fd, int channel, int port);
    void set_nr_b_720p(int fd, int channel, int port);
    void set_nr_b_1080i(int fd, int channel, int port);
    void set_nr_b_1080p(int fd, int channel, int port);
    void set_nr_tpx(int fd, int channel, int port);
    void set_nr_hvpx(int fd, int channel, int port);
    void set_nr_mosq(int fd, int channel, int port);
    void set_diag(int fd, int channel, int port);
    void set_comb(int fd, int channel, int port);
    void set_mvflt(int fd, int channel, int port);
    // Mode and sync source of the window's input channels; `flag` non-zero
    // treats an interlaced port as progressive.
    void set_mct(int fd, int window, u32 flag);
    // Input colour conversion of the window's channels by its memory format.
    void set_iscwct(int fd, int window);
    // Scaler coefficients of input channel `channel` for a shrink ratio
    // (16.16); `dual` loads the pair's second channel too.
    void set_lut_hshrnk(int fd, int ratio, u32 channel, int dual);
    void set_lut_vshrnk_4sym(int fd, int ratio, u32 channel, int dual);

    // ---------------------------------------------------------- picture and window setters
    // Picture controls of every output channel; values wrap modulo 101.
    static void x518_SetBrightness(u16 value);
    static void x518_SetContrast(int value);
    static void x518_SetSharpness(int value);
    static void x518_SetSaturation(int value);
    // Colour temperature from the packed word: mode in bits 0-7 (0 user
    // gains, 1-3 presets), blue, green and red gains in bits 8-31.
    static void x518_SetColorTemp(int packed);
    // The end of bring-up: the forced colour released, each window's output
    // channels show their picture, or black where the port has no signal.
    void kelApi_forceColorDisable(int fd);
    // The window setters take a chip window (record) and refuse one at or
    // above wincnt.
    void x518_SetWinPriority(u32 window, int layer);
    void x518_SetWinPriority1(int fd);
    void x518_SetWinAttr(u8 window, int attribute);
    void x518_SetInputsourceCrop(int window, u32 cropWord);
    // Black (bit 0), freeze (bit 1), switch effect (bit 2) and dot-by-dot (bit 8).
    void x518_SetWinOutput(int fd, u8 window, int flags);
    void win_freeze_sel(int fd, u32 window, u32 flags);
    // Holds the input channel of every window set to freeze (the end of a
    // window programming pass, which restarts the captures it programs).
    void holdFrozenWindows(int fd);
    void x518_SetWinDbdMode(int fd, u8 window, int mode);
    // The dot-by-dot code of arrangement 0-9 (single input for any other).
    static i32 dbdCodeOf(int arrangement);

    // ---------------------------------------------------------- test patterns
    // Shows built-in pattern 1-20 (and on, modulo 20) on window 0's output
    // channels, or switches them off with 0: 0, or all ones when more than
    // one window is in use.
    static u32 x518_SetPattern(u32 pattern);

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
    // Looks for the fonts' headers in the flash (font_flags, register 43);
    // a header that cannot be read counts as absent. False when one could
    // not be read.
    bool read_x518_font(int fd);
    void update_font(int fd);

    // ---------------------------------------------------------- window geometry
    // Splits `win` (relative to the window's first output channel) over the
    // output channels the window covers: entry i holds the i-th column's
    // horizontal part and the i-th row's vertical part.
    void calc_oact(_ImageWindowDef_st win, _ImageWindowDef2_St* out, int window) const;
    static void calc_scaling(_ImageWindowDef_st in, _ImageWindowDef_st out, _ScalingSt* s);
    // 0 single window, 1 `*window` leads a stitch group, 2 it follows one
    // (then `*window` becomes the lead); `*partner` the last other member.
    int check_stitching_win(int* window, int* partner) const;
    void check_stitching_chg();
    // The output channel of each area of the window (8 entries, -1 none).
    void get_och(int window, int* och) const;
    // Margin of a window inside its output cells: side 0 left, 1 right, 2 up, 3 down.
    u32 kelApi_OchGetWinOffset1(const ST_WIN_INFO* info, int side) const;
    // Crop margin of a rectangle inside an input port: side 0 left, 1 right, 2 top, 3 bottom.
    u32 kelApi_CropGetOffset(int port, const ST_RECT* rect, int side) const;
    // Crops chip window `window` (a record) to `rect`, clamped to its input,
    // or drops its crop; then programs the windows.
    void x518_SetCrop(char window, char enable, ST_RECT* rect);
    // Recomputes the crop margins of the windows on `port` after its format changed.
    void kelApi_updateCrop(int port);

    // ---------------------------------------------------------- output panel
    // Maps the LED canvas onto the output channels, publishes the geometry
    // into the block, programs the output timing and rebuilds the windows'
    // environment and channel allocation.
    i32 kelApi_PnlInit2(int ledW, int ledH, int out1w, int out1h, int splice);
    void kelApi_PnlInitOch3();
    // Looks the channel timing up; always 1.
    int kelApi_PnlInitOch_diff(int* htt, int* vtt, int hblank, int vblank, int width, int height);
    // Publishes the channel geometry into the block when `offset` is that of the splice mode.
    void kelApi_WriteRam(int offset);
    void kelApi_x518InitRegPanel();

    // ---------------------------------------------------------- multi-window environment
    // Packs the block's windows in use into the chip windows, or builds the
    // default environment when none is in use or one is out of range.
    void kelApi_initEnvX518();
    void kelApi_initEnvX518Default();
    void kelApi_MultiWinGet(ST_MWIN* out) const;
    void kelApi_MultiWinInit();
    void kelApi_MultiWinChAlloc(char init);
    void kelApi_MultiWinChOverlay();
    void kelApi_MultiWinChInit();
    // The chip window (packed record) that shows parameter-block window
    // `window`, -1 when none does (not in use, or the default environment).
    // Every per-window operation of the chip takes the record.
    int recordOfWindow(int window) const;

    // ---------------------------------------------------------- window programming
    // The pass that brings the chip's windows in line with the model after
    // anything about a window changed (the change flags of the model): input
    // channels, a fade or a picture hold around the change, the input side of
    // each changed window, its output side, the mixers, then the release. A
    // pass with no flag up writes nothing. It clears every flag it serves.
    void set_output(int fd);
    // Input side of a plain window: capture area of its channel (and the
    // second path of a pair), shrink, frame memory. No channel or no port:
    // nothing.
    void set_display_window_ich(int fd, _ImageWindowDef_st in, _ImageWindowDef_st out, int window);
    // Input side of a dot-by-dot window: one capture area per input it shows.
    void set_display_window_ich_dbd(int fd, int window, int arrangement);
    // Mode 0: capture width 0 on the input channels no window owns; 1:
    // picture width 0 on the output channels that show no area of a window;
    // 2: both.
    void reset_act(int fd, int mode);

    // ---------------------------------------------------------- output channel programming
    // Output side of a window: every output channel that shows an area of it
    // reads its share of the frame memory, zooms it and places it.
    void set_display_window_och(int fd, _ImageWindowDef_st in, _ImageWindowDef_st out, int window);
    void set_oscwct(int fd, int och);
    void set_lut_vzoom_4sym(int fd, int v_zoom, int och);

    // ---------------------------------------------------------- layers, fades, picture hold
    // Each mixer's list of channels in layer order, from PM_OVERLAY and PM_OVERLAY_PRI.
    void update_overlay_info();
    void set_overlay(int fd);
    // Opaque layers on mixers 0-3: the top layer present covers the rest.
    void reset_layer_coef(int fd, int mode);
    // Fades the window out (dir 0) or in (1) over cnt + 1 output frames.
    void set_layer_coef(int fd, int window, int cnt, int dir);
    // Waits for the next frame of output channel och: 0 when it came, -1 when
    // it did not within frame_wait_ms (logged; the other waits of the same
    // programming pass then give up at once).
    int wait1_povs(int fd, int och);
    // 1: holds the output picture of the changed windows on one frame
    // buffer; 0: every window's output reads the ring again.
    void set_freeze(int fd, int on);
    static constexpr u32 kFrameWaitMs = 100;  // six frames of 60 Hz
    u32 frame_wait_ms = kFrameWaitMs;
    // Frame-buffer numbers as a ring register holds them, 3 bits each at
    // bits 0, 4, 8, ...: the write ring of a window's five buffers, the
    // read ring of four.
    static u32 ringCode(std::initializer_list<i32> buffers);
    static u32 writeRingCode(const i32* ring) { return ringCode({ring[0], ring[1], ring[2], ring[3], ring[4]}); }

    // ---------------------------------------------------------- OSD engine
    // Records an OSD attribute (OsdOption) and asks for a reset or redraw in
    // the next pass; nothing reaches the chip now. 1, or 0 for an unknown option.
    i32 kelApi_OsdSet(int option, int value);
    // Replaces the text: `lines` lines (at most 64) of lengths[i] code
    // points (at most 127 kept). 0.
    i32 kelApi_OsdSetUnicode(int lines, int* lengths, wchar_t texts[][128]);
    // Draws every stored line into the drawing plane.
    void gen_char(int fd);
    // Draws one line (at most 128 characters) at x, y of the plane.
    void osd_put_unicode_string(int fd, const char text[][2], int x, int y, int foreground, int background, int size,
                                int glyphSize, int planeAddress, int is64);
    // Fills a rectangle of a plane with a colour-table index.
    void osd_paint(int fd, int x, int width, int y, int height, int value, int planeAddress);
    // Copies a rectangle between chip-memory areas; fromStaging 1: from a
    // bitmap of one byte per pixel in the staging area.
    void osd_copy(int fd, int source, int destination, int width, int height, int fromStaging);
    // Writes the background and character colours into the colour table.
    void set_char_color(int fd);
    // The OSD window on the panel (OSD_WIN) and its part in each output tile.
    void calc_osd(_ImageWindowDef2_St* tiles);
    // Programs every tile's OSD window: displayPlane 1 shows PS_MEM_OSD1,
    // 0 PS_MEM_OSD from the input margins on.
    void set_osd(int fd, int displayPlane);
    void set_scroll(int fd);
    // Redraws the plane (text or bitmap), copies it 2 x 2 into the display
    // plane and shows it with its scrolling.
    void update_osd(int fd);
    // Reads /data/configs/omenu.json into the overlay list and applies it
    // (videochip/omenu.cpp); with nothing to show in it (none, refused,
    // "osdcount" 0) the OSD goes back to what a start leaves.
    void load_overlay_file();

    // ---------------------------------------------------------- the chip
    x518_drv* drv = nullptr;
    i32 spi_fd = -1;
    std::atomic<u8> init_state{0};
    // Overlay fonts found in the serial flash, a bit each (FontFlag).
    enum FontFlag : u32 {
        kFontChinese32 = 1u << 0,
        kFontEnglish32 = 1u << 1,
        kFontChinese64 = 1u << 2,
        kFontEnglish64 = 1u << 3,
    };
    u32 font_flags = 0;
    // What a look for the fonts or a load of them left undone because the
    // chip did not answer (any thread's): the manager's next running pass
    // does it again, so register 43 and the fonts in chip memory follow the
    // flash once the chip answers.
    enum FontRedo : u8 { kRedoFontHeads = 1u << 0, kRedoFontLoad = 1u << 1 };
    std::atomic<u8> font_redo{0};
    std::atomic<u32> pattern_gen{0};  // non-zero while a built-in test pattern is shown

    // ---------------------------------------------------------- serial flash and fonts
    // The serial flash behind the chip's serial-flash controller (fonts, OSD
    // bitmap). Its operations run on the manager thread, the link threads
    // and the USB-upgrade worker. flash_mutex spans each whole erase, write,
    // read, DMA and font load; inside it a flash operation takes only the
    // register locks (docs/threads.md has the lock order).
    static QMutex flash_mutex;
    static constexpr u32 kFlashSize = 32u << 20;
    static constexpr u32 kFlashSector = 4096;
    static constexpr int kFontHeaderSize = 35;
    enum EraseKind : char { kErase4K = 0, kErase32K = 1, kErase64K = 2 };
    // Results of the flash operations: 0 done; refused arguments (nothing
    // touched); the controller did not finish in time; a message to the chip
    // failed (the chip is not reachable); the flash does not hold what the
    // operation was to leave there (an erased unit that does not read blank,
    // written bytes that do not read back: a flash that refuses erases and
    // programs still reports them finished).
    enum FlashResult : int {
        kFlashOk = 0,
        kFlashBadArgs = 1,
        kFlashTimeout = 2,
        kFlashUnreachable = 3,
        kFlashNotHeld = 4,
    };
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
    // past the flash is refused. Done only once the units read blank.
    int erase_flash(int fd, int sector, int count, char kind);
    // Programs `length` bytes at `address` (the area must be erased). Done
    // only once the bytes read back as written.
    int write_flash(int fd, int address, int length, char* data);
    // Reads `length` bytes from `address` into `buffer`; on a failure the
    // buffer's bytes mean nothing.
    int read_flash(int fd, int address, int length, char* buffer);
    // The controller copies `length` bytes from the flash to a destination
    // of `kind`: 0 chip memory, 1 OSD string area, 4 OSD colour table.
    int osd_write_dma_sfl(int fd, int flashAddress, int destination, int kind, int length);
    // update_font() with its result: 0, or the FlashResult of the copy that failed.
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
    const i32* load_osd_param(const i32* t);
    void osdSystemDefaults();

private:
    // The output panel as the OSD places its windows on it.
    struct OsdPanel {
        i32 width = 0, height = 0;  // panel size
        int across = 0, down = 0;   // output tiles (at most 8 in all)
        i32 tileWidth = 0, tileHeight = 0;
        i32 activeX = 0, activeY = 0;  // active-area start of the output timing
    };
    struct OsdGlyph {
        u32 index;
        int advance;
    };
    OsdPanel osdPanel() const;
    OsdGlyph osdGlyph(u32 code, int size, bool is64) const;
    u32 osdPitchUnits() const;
    void osdRun(int fd, u32 command);

    x518_manage();
    const KEL_RAM_PARA& block() const;
    void probe();
    void forgetPorts();
    void bringUpLoad();
    void bringUpPanel();
    void bringUpPicture();
    // serial flash
    bool gioSetting(int fd, bool trace);
    bool flashAccessSetup(int fd, u32 address);
    bool flashPageEnd(int fd);
    bool flashEraseUnit(int fd, u32 address, u8 opcode);
    int readFlashLocked(int fd, u32 address, u32 length, char* buffer);
    // Whether the flash holds `expected` (null: blank) from `address`.
    int flashHoldsLocked(int fd, u32 address, u32 length, const char* expected);
    // The result of a step that failed: unreachable when a message to the
    // chip failed since `failedBefore`, else `otherwise`.
    int flashFailure(u32 failedBefore, int otherwise) const;
    int dmaLocked(int fd, u32 flashAddress, u32 destination, int kind, u32 length);
    bool clearWriteEnable(int fd, bool timed, int limit);
    void fillMwinPresets();
    // The output area of one output channel from its sync widths and porches.
    void deriveOutputArea();
    template <class T>
    void copyParam(T& member, i32 value, i32& changed);
    int portOf(int window) const;
    KEL_RAM_PARA* liveBlock() const;
    // window geometry
    void portSize(int port, i32& hw, i32& vw) const;
    // Crops: the one clamp of a rectangle to its input, the four margins of
    // a clamped copy, and a window's crop set without programming it.
    void clampCrop(int port, ST_RECT& rect) const;
    void cropMargins(int port, ST_RECT rect, i32* margins) const;
    void storeCrop(int window, bool enable, ST_RECT& rect);
    // output panel
    void writePanelRegisters();
    // multi-window environment
    // The chip windows as an environment left them: the record of each
    // block window, their count, the default environment, and each chip
    // window's dot-by-dot code.
    struct ChipNumbering {
        i32 record[kWindows] = {};
        i32 dbd[kWindows] = {};
        i32 count = 0;
        bool defaultEnv = false;
    };
    ChipNumbering chipNumbering() const;
    void buildEnvironment();
    void chipWindowMap(const ChipNumbering& before, int* to) const;
    // What each chip window holds moves to the chip window that shows its
    // block window now (kelApi_initEnvX518).
    void carryChipWindows(const ChipNumbering& before);
    void fillRecord(const KEL_RAM_PARA& b, int window, int record);
    bool windowFits(const KEL_RAM_PARA& b, int window, bool first) const;
    bool fallsBack(const KEL_RAM_PARA& b) const;
    // The block windows' share of the chip while the one window over the
    // canvas stands (kelApi_initEnvX518): what each chip window held, by the
    // numbering the fallback began with.
    struct ParkedWindows {
        bool valid = false;
        ChipNumbering numbering;
        X518InputChannels ich;
        i32 fb_ring[kWindows][kFields] = {};
        i32 win_refused[kWindows] = {};
        i32 PM_MEM_WMODE[kWindows] = {};
        i32 mem_hw[kWindows] = {};
        i32 mem_vw[kWindows] = {};
        i32 PM_INPUT[kWindows] = {};
    };
    ParkedWindows parked_;
    template <class F>
    void eachParkedRow(F copy);
    void parkWindows(const ChipNumbering& before);
    void dropHiddenParked(const KEL_RAM_PARA& b);
    void resumeParked();
    u8 parkedRefusals() const;
    void assignLayers();
    static u8 layerOf(const KEL_RAM_PARA& b, int window);
    void takeLayers(const KEL_RAM_PARA& b);
    void applyMirrors(const KEL_RAM_PARA& b);
    void allocateRecord(ST_WIN_INFO& r, const ST_MWIN_RECT* channels, int count);
    void markUsedChannels();
    void giveSpares();
    void overlaySharedPositions();
    void fillWindowTables(const KEL_RAM_PARA& b);
    void enableUsedChannels();
    void seedApplied();
    // apply half
    void applyHalf();
    void applyBlock(const KEL_RAM_PARA& live, u8 flag);
    void applyPanel(const KEL_RAM_PARA& now, const KEL_RAM_PARA& was);
    void waitLedSetup();
    void applyPicture(const KEL_RAM_PARA& now, const KEL_RAM_PARA& was);
    void applyPriorities(const KEL_RAM_PARA& now, const KEL_RAM_PARA& was);
    void applyWindowsInOnePass(const KEL_RAM_PARA& now, const KEL_RAM_PARA& was);
    bool applyWindows(const KEL_RAM_PARA& now, const KEL_RAM_PARA& was);
    static bool windowsWritten(const KEL_RAM_PARA& now, const KEL_RAM_PARA& was);
    void applyCropRecords(const KEL_RAM_PARA& now, const KEL_RAM_PARA& was);
    // Set while one write's window fields are taken: the setters' programming
    // passes are owed and run as one pass after them.
    bool defer_programming_ = false;
    bool programming_owed_ = false;
    void applySourceChange(const KEL_RAM_PARA& now, int window, int chip, u16 was, u16 source);
    void applyFades(const KEL_RAM_PARA& now, const KEL_RAM_PARA& was);
    void applyEdid(const KEL_RAM_PARA& now, const KEL_RAM_PARA& was);
    void serveRegisterRequests();
    void relayout();
    // watch half
    void watchHalf();
    // The font look or load that font_redo holds, once more.
    void redoFonts();
    // Keeps font_redo: `what` done, or left to do again.
    void noteFontRedo(u8 what, bool done);
    // input ports
    int windowOfPort(int port) const;
    // Whether the window's dot-by-dot arrangement shows the port (one of
    // the inputs it puts side by side), and whether the window shows the
    // port at all: a part of its arrangement when it shows several inputs
    // (its own source, when it is none of them, plays no part), else its
    // own input.
    bool dbdShowsPort(int window, int port) const;
    bool windowUsesPort(int window, int port) const;
    bool recordChanged(u32 dev) const;
    // A port's measurement registers as one hold caught them: the frame
    // counters and, for a V-by-One port, its lane counters (pair 0 is fhw
    // and fvm themselves).
    struct PortReading {
        u32 htt = 0, vtt = 0, fhw = 0, fvm = 0, hw = 0;
        u32 line[x518::kLanePairs] = {}, frame[x518::kLanePairs] = {};
    };
    // Reads the ports of `measured` (a bit per port), and the lanes of the
    // V-by-One ports of `lanes`, under one hold of the measurement.
    void readPorts(int fd, unsigned measured, unsigned lanes, PortReading* readings);
    void checkPort(int fd, int port, const PortReading& reading, bool lanesRead);
    void portLost(int fd, int port, const ST_PI_PORT_INFO& old);
    void portChanged(int fd, int port);
    bool vboLanesLocked(int fd, int port, const PortReading* held);
    void vboReset(int fd, int receiver, u32 laneMask, bool frange);
    void stepVboRetry(int receiver);
    void measurePort(int fd, int port, ST_PI_PORT_INFO& info);
    void dropInput(u32 window);
    // input channels
    bool windowAvailable(int window) const;
    // Channels the window takes: what it asks for; for a window other than
    // `asking`, none while it is refused and what it holds while it waits
    // to be served.
    int windowCost(int window, int asking) const;
    int moveOccupant(int channel, const int* list, int count);
    bool needsDeinterlacer(int port) const;
    // picture and window setters
    void writePictureControl(u32 enable, u32 first, u32 value);
    int outputChannelsOf(int window, int* och) const;
    const IMAGE_PARA* imageOfRecord(int record) const;
    // Whether the port has a signal as the chip last measured it (or its
    // receiver reports one while it is not measured yet); whether the window
    // shows a picture it could hold: its input has a signal, or one of the
    // inputs of its arrangement of several; and the same from the ports'
    // states alone (set when a port is measured with a signal).
    bool portHasSignal(int port) const;
    bool windowHasSignal(int window) const;
    bool windowMeasuredSignal(int window) const;
    // Sharpness. What one window's output channels were given: the enhancer
    // on or off, its gain, the coefficient band across and down (by the
    // window's scale) and the channels.
    struct SharpSetting {
        bool valid = false;
        bool on = false;
        u32 gain = 0;
        int hBand = 0, vBand = 0;
        int channels = 0;
        int och[kChannels] = {};
        bool operator==(const SharpSetting& o) const;
    };
    // The value the setter was last given (kNone until the bring-up's
    // picture step), and what each chip window was last given: the window
    // programming programs again the windows whose input, scale or channels
    // changed what they need (refreshSharpness).
    int sharp_value_ = kNone;
    SharpSetting sharp_shown_[kWindows];
    void resetSharpness();
    void refreshSharpness();
    SharpSetting sharpSettingOf(int window) const;
    void sharpenWindow(int window, bool force);
    // input-channel picture processing
    bool processingState(int port) const;
    bool anyNoiseReduction(int port) const;
    bool hasChain(int channel, int port) const;
    void measureIpFrame(int fd, int channel, int port);
    void setFieldMemory(int fd, int channel, bool interlaced);
    void writeBlockNr(int fd, int channel, int port, int member);
    // dumps
    void refreshHdmi20Record();
    int firstIch(int window) const { return ich.win_ich[window][0]; }
    int ichCount(int window) const;
    // window programming
    bool windowChanged(int window) const;
    bool anythingToProgram() const;
    void allocateInputs();
    // Who asks for input channels in a programming pass, in the order they
    // are served (allocateInputs).
    enum AskGroup { kKeepsChannels, kAsksForMore, kHoldsNoChannel, kWaitsForChannels, kNotAsking };
    // A window that asks for more gives up what it holds before the first
    // of them is served.
    void releaseAsked(int w);
    int askGroup(int window) const;
    void serveInput(int window, bool waiting);
    // Windows still to be served in this allocation: they count with the
    // channels they hold.
    bool ich_pending_[kWindows] = {};
    int fadeCandidate();
    // What a window's input side is programmed from: its ports as measured,
    // its crop, its dot-by-dot arrangement, its place and its input
    // channels. All i32, compared whole.
    struct CaptureKey {
        i32 valid = 0;
        i32 dbd = 0, clip = 0, cropped = 0;
        i32 crop[4] = {};
        i32 port[kPorts][4] = {};  // each port it shows: state, scan mode, format lock, active width
        i32 area[kPorts][4] = {};  // and its measured area
        i32 place[4] = {};         // x, y, w, h on the canvas
        _ImageWindowDef_st out{};  // where it lies on its output channels
        i32 channels[kChannels] = {};
        i32 memory = 0;  // its first block of dot-by-dot memory
        bool operator==(const CaptureKey& o) const;
    };
    CaptureKey captureKey(int window) const;
    // The key each chip window's input side was last programmed from.
    CaptureKey captured_[kWindows];
    // A frozen window whose capture this pass would program as it stands
    // keeps it held, on the frame it holds: the pass leaves its input side
    // and its input channels alone (keep_held_).
    bool keepsHeldFrame(int window) const;
    bool keep_held_[kWindows] = {};
    void programInputSides(int fd);
    void programOutputSides(int fd);
    void keepProgrammedState();
    void releaseUnusedDbdMemory();
    // The input channels (or the dot-by-dot memory) cannot carry the window:
    // it gives up what it holds and shows black until they can. `held`: it
    // held channels before this try.
    void refuseWindow(int window, bool held);
    bool budgetRefused(int window, int result) const;
    bool dbdCarried(int window);
    // Register 45 and the pages: which block windows are refused.
    void publishRefusals();
    u8 refused_shown_ = 0;
    bool splitAtVboWidth(int window) const;
    _ImageWindowDef_st storedInput(int window) const;
    bool output_frames_stalled_ = false;
    // When each input channel (on each port, and on none) and the output
    // turn their frames over, as the frame waits learnt it. A port's grids
    // hold until its signal is lost or its timing changes, the output's
    // until the panel's timing is written again.
    X518FrameGrid in_frames_[kChannels][kPorts + 1];
    X518FrameGrid out_frames_;
    void forgetFrames(int port);
    // Takes `count` free dot-by-dot blocks in a row for the window, the
    // lowest run (fromTop: the highest), moving the other windows' memory
    // together first when enough are free but not in a row; the first
    // block, or -1 when fewer are free.
    int takeDbdBlocks(int window, int count, bool fromTop);
    int freeDbdRun(int count, bool fromTop) const;
    void compactDbdMemory();
    // Blocks of dot-by-dot memory the window asks for, and holds.
    int dbdBlocksAsked(int window) const;
    int dbdBlocksHeld(int window) const;
    // A dot-by-dot window's parts: what each of its input channels (in list
    // order) captures of which port, and where its part lies in the
    // window's memory (pixels across, lines down).
    struct DbdPart {
        int port = kNoPort;
        i32 hst = 0, hw = 0, vst = 0, vw = 0;
        i32 x = 0, y = 0;
    };
    struct DbdLayout {
        int parts = 0;  // channels the arrangement needs (0: none it knows)
        DbdPart part[4];
        int blocks = 0;          // blocks of dot-by-dot memory it takes
        bool fromTop = false;    // taken from the highest free blocks down
        bool sideBySide = true;  // the parts lie in one row
    };
    DbdLayout dbdLayout(int window) const;
    int dbdFormat(int window) const;
    // The area (HST, HW, VST, VW) window `window` takes of `port`'s input:
    // as measured; in an arrangement of several inputs, while it has no
    // signal, its room (dbd_room_): the last frame the input's source status
    // reported, which a PC sees, so that it stays black at its own place and
    // the inputs after it stay at theirs. Each pass takes the reported frames
    // first (noteReportedFrames).
    const i32* dbdArea(int window, int port) const;
    void resetDbdRooms();
    void noteReportedFrames();
    i32 dbd_room_[kPorts][4] = {};
    // The first input channel of a dot-by-dot window, which the others
    // follow, captures the first part whose port has a signal (the lead);
    // channel i of the list captures part dbdPartOf(i, lead).
    int dbdLeadPart(const DbdLayout& l) const;
    static int dbdPartOf(int i, int lead) { return i == 0 ? lead : i <= lead ? i - 1 : i; }

    bool applied_seeded_ = false;

    // The chip not answering (manager thread only).
    void chipFailed(u8 state);
    bool retryPaused() const;
    void publishRunning(bool running);
    // The bring-up's windows coming back. A bring-up (at start, after the
    // chip stopped answering, or on register 0xA2 bit 6) programs every
    // window before the ports are measured, so a window with a signal shows
    // black until the watch half has measured its ports and programmed it
    // again. Until then, or kRestoreTicks, running mode is not shown and
    // the fence is not served (manager thread; chipDown reads restoring_).
    void enterRunning();
    bool followRestore();
    // The chip windows not back yet, a bit each.
    u8 windowsNotBack() const;
    bool windowBack(int window) const;
    // The input-source manager reports a signal on the port's input.
    static bool inputReportsSignal(int port);
    // Register 36 (0xA4), the clients' fence: cleared once a pass leaves the
    // chip running, its windows back and no write waiting for a pass.
    void serveFence();
    std::atomic<bool> restoring_{false};
    u32 restore_from_ = 0;        // G_timeTicks of entering running mode
    bool pausing_ = false;        // waiting kRetryTicks from pause_from_
    u32 pause_from_ = 0;          // G_timeTicks of the failed pass
    bool outage_ = false;         // told the console the chip fails, and not yet that it is up again
    bool running_shown_ = false;  // what register 37 and the pages were last told
};
