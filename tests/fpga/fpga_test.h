// A simulated box with its FPGA manager, driven pass by pass and tick by
// tick from the test (the manager's thread is not started unless a test
// starts it).
#pragma once

#include "app/kelrampara.h"
#include "fpga/fpga_manage.h"
#include "platform/sim/sim_fpga.h"
#include "platform/sim/sim_soc_window.h"
#include "tests/support/box_test.h"

#include <QObject>
#include <algorithm>
#include <chrono>
#include <future>
#include <vector>

// A PC's write of an FPGA's parameter memory, answered on a thread of its
// own (as a link's) while the manager's passes run on the caller's.
inline fpga_manage::MemoryWrite pcMemoryWrite(fpga_manage* m, u8 fpga, u16 offset, const std::vector<u8>& bytes)
{
    auto answer = std::async(std::launch::async, [m, fpga, offset, bytes] {
        return m->writeControllerMemory(fpga, offset, bytes.data(), static_cast<int>(bytes.size()));
    });
    while (answer.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
        m->memoryDeal();
    return answer.get();
}

class FpgaTest : public BoxTest {
protected:
    void SetUp() override
    {
        BoxTest::SetUp();
        board = platform::sim::fpgaBoard();
        ASSERT_TRUE(board);
        window = platform::sim::deviceAs<platform::sim::SimSocWindow>("/dev/mem");
        store = KelRamPara::pInstance();
        store->ram_para.brightness = 100;
        store->ram_para.led_off = 0;
        // Queued into the test's thread when the manager's thread emits.
        QObject::connect(store, &KelRamPara::sig_update_para, &receiver, [this](int code) { codes.push_back(code); });
        G_timeTicks = 1000;
    }

    // The manager with both FPGAs let out of reset, as initialize_start does,
    // but without its thread.
    fpga_manage* manager() { return fpgaManagerOutOfReset(); }
    void passes(int n)
    {
        for (int i = 0; i < n; ++i)
            fpga_manage::p_fpga_manage->fpga_manage_deal();
    }
    void ticks(u32 n) { G_timeTicks += n; }
    // `n` ticks on, then one pass.
    void after(u32 n)
    {
        ticks(n);
        passes(1);
    }
    // Passes until FPGA 0 runs; false when it does not within a few.
    bool bringUp() { return fpgaZeroBroughtUp(); }
    int count(int code) const { return static_cast<int>(std::count(codes.begin(), codes.end(), code)); }
    // Runs `f` on the simulated flash behind FPGA `n`, the board locked.
    template <class F>
    auto withFlash(int n, F f)
    {
        auto lock = board->lock();
        return f(board->flash(n));
    }
    std::vector<u8> flashRead(int n, u32 at, u32 len)
    {
        return withFlash(n, [&](auto& flash) { return flash.read(at, len); });
    }
    std::vector<std::pair<uint8_t, uint32_t>> flashErases(int n)
    {
        return withFlash(n, [](auto& flash) { return flash.erases(); });
    }

    std::shared_ptr<platform::sim::SimFpgaBoard> board;
    std::shared_ptr<platform::sim::SimSocWindow> window;
    KelRamPara* store = nullptr;
    QObject receiver;
    std::vector<int> codes;
};
