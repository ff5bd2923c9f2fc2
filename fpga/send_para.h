// The send-job record through which pages hand receiving-card work to the
// FPGA manager thread, and the USB upgrade request the same thread polls.
#pragma once

#include "app/global.h"

#include <atomic>
#include <cstddef>

// Jobs named by SEND_PARA::cmd; 0 (and any value not listed) is the
// periodic receiving-card search.
enum SEND_JOB : u8 {
    SEND_NONE = 0,
    SEND_SMARTMAPPING = 1,
    SEND_LOAD_SCAN = 2,
    SEND_SAVE_PARA = 3,
    SEND_MAPPING_ENABLE = 4,
    SEND_RCV_CHECK = 5,
    SEND_RCV_RECOVERY = 6,
};

// Shared without a lock: a page writes the other fields first, then posts
// the job (step 0 before cmd); the worker reads cmd once per pass and ends
// every job by returning cmd and step to 0.
struct SEND_PARA {
    std::atomic<u8> cmd{0};                  // 0: the job
    std::atomic<u8> step{0};                 // 1: the worker's step within the job, 0 = start
    u8 reserved_2[14]{};
    u32 mapping_value = 0;                   // 16: data byte of the mapping command: 9 on, 0 off
    u8 reserved_20[10]{};
    std::atomic<u16> recovery_progress{0};   // 30: a card's answer, 255 none, 65535 asking

    // Posts `job` at step 0, as one hand-over.
    void post(u8 job)
    {
        step.store(0, std::memory_order_relaxed);
        cmd.store(job, std::memory_order_release);
    }
    // Ends the running job.
    void end()
    {
        cmd.store(SEND_NONE, std::memory_order_release);
        step.store(0, std::memory_order_relaxed);
    }
};
static_assert(sizeof(std::atomic<u8>) == 1 && sizeof(std::atomic<u16>) == 2);
static_assert(sizeof(SEND_PARA) == 32);
static_assert(offsetof(SEND_PARA, step) == 1 && offsetof(SEND_PARA, mapping_value) == 16);
static_assert(offsetof(SEND_PARA, recovery_progress) == 30);

extern SEND_PARA g_send_para;
// 1 = run the USB upgrade in the FPGA manager thread instead of its normal
// work; set by the USB upgrade page, cleared by the upgrade's last step.
extern std::atomic<u32> g_usb_grade;
