// The send-job record through which pages hand receiving-card work to the
// FPGA manager thread, and the USB upgrade request the same thread polls.
#pragma once

#include "app/global.h"

#include <QMutex>
#include <QString>
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
    std::atomic<u8> cmd{0};   // 0: the job
    std::atomic<u8> step{0};  // 1: the worker's step within the job, 0 = start
    u8 reserved_2[14]{};
    u32 mapping_value = 0;  // 16: data byte of the mapping command: 9 on, 0 off
    u8 reserved_20[10]{};
    std::atomic<u16> recovery_progress{0};  // 30: a card's answer, 255 none, 65535 asking

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

// The quick-mapping record: what the smart-mapping page writes before it
// posts job 1 (and the LAN port of job 2). No lock: the page writes it
// before the job word, and the worker copies it when the job starts.
#pragma pack(push, 1)
struct LINE_TYPE {
    u16 box_width = 0;   // cabinet width in pixels
    u16 box_height = 0;  // cabinet height in pixels
    u16 offset_x = 0;    // the screen's offset on the canvas
    u16 offset_y = 0;
    u8 port = 0;       // LAN (sending) port, 0-based
    u8 rows = 0;       // cabinet rows
    u8 columns = 0;    // cabinet columns
    u8 route_way = 0;  // routing pattern 1-16 (fpga/route_patterns.h)
};
#pragma pack(pop)
static_assert(sizeof(LINE_TYPE) == 12);
extern LINE_TYPE line_type;

// A text that two threads hand over, under its own lock.
class SharedText {
public:
    void set(const QString& text)
    {
        QMutexLocker lock(&mutex_);
        text_ = text;
    }
    QString get() const
    {
        QMutexLocker lock(&mutex_);
        return text_;
    }

private:
    mutable QMutex mutex_;
    QString text_;
};

// Absolute box path of the scan file chosen for job 2; empty = none. The
// smart-mapping page sets it; the worker takes its own copy when the job
// starts.
extern SharedText g_ztfile_name;
// 1 = run the USB upgrade in the FPGA manager thread instead of its normal
// work; set by the USB upgrade page, cleared by the upgrade's last step.
extern std::atomic<u32> g_usb_grade;
