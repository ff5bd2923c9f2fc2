// The receive side of the frame codec as the format describes it, one byte
// at a time and nothing more: what the codec, which takes the bytes a word
// at a time, is held to by the tests and the codec's fuzz harness. It counts
// what it drops as the codec does.
#pragma once

#include "links/protocol_phy.h"

#include <vector>

class ReferenceCodec {
public:
    void feed(const u8* data, size_t len, std::vector<CTRL_FRAME>& frames)
    {
        for (size_t i = 0; i < len; ++i)
            take(data[i], frames);
    }
    const protocol_phy::Stats& stats() const { return stats_; }

private:
    enum class State { Hunt, Body, Escaped };

    static bool special(u8 b) { return b == ctrl::kFrameStart || b == ctrl::kFrameEnd || b == ctrl::kEscape; }

    void start()
    {
        state_ = State::Body;
        body_.clear();
    }

    void drop(u32& counter)
    {
        ++counter;
        state_ = State::Hunt;
    }

    // The length field, once the header is whole.
    size_t announced() const { return size_t(body_[ctrl::kOffLength]) | size_t(body_[ctrl::kOffLength + 1]) << 8; }

    // One unescaped body byte; a frame longer than its length field allows
    // is dropped at the byte that overruns it, one announcing more than the
    // maximum as soon as its length field is whole.
    void push(u8 b)
    {
        if (body_.size() >= ctrl::kHeaderSize && body_.size() >= ctrl::kHeaderSize + announced() + ctrl::kCheckSize) {
            drop(stats_.bad_length);
            return;
        }
        body_.push_back(b);
        if (body_.size() == ctrl::kHeaderSize && announced() > ctrl::kMaxPayload)
            drop(stats_.bad_length);
    }

    void end(std::vector<CTRL_FRAME>& frames)
    {
        state_ = State::Hunt;
        if (body_.size() < ctrl::kMinBody || body_.size() != ctrl::kHeaderSize + announced() + ctrl::kCheckSize) {
            ++stats_.bad_length;
            return;
        }
        u8 x = 0;
        for (size_t i = 0; i + 1 < body_.size(); ++i)
            x ^= body_[i];
        if (x != body_.back()) {
            ++stats_.bad_check;
            return;
        }
        CTRL_FRAME f;
        f.target = body_[ctrl::kOffTarget];
        f.source = body_[ctrl::kOffSource];
        f.command = body_[ctrl::kOffCommand];
        f.sub_command = body_[ctrl::kOffSubCommand];
        f.append(body_.data() + ctrl::kOffPayload, announced());
        frames.push_back(f);
        ++stats_.frames;
    }

    void take(u8 b, std::vector<CTRL_FRAME>& frames)
    {
        if (state_ == State::Hunt) {
            if (b == ctrl::kFrameStart)
                start();
            else
                ++stats_.noise;
        } else if (b == ctrl::kFrameStart) {
            ++stats_.cut;
            start();
        } else if (state_ == State::Escaped) {
            state_ = State::Body;
            if (special(static_cast<u8>(b ^ ctrl::kEscapeXor)))
                push(static_cast<u8>(b ^ ctrl::kEscapeXor));
            else
                drop(stats_.bad_escape);
        } else if (b == ctrl::kFrameEnd) {
            end(frames);
        } else if (b == ctrl::kEscape) {
            state_ = State::Escaped;
        } else {
            push(b);
        }
    }

    State state_ = State::Hunt;
    std::vector<u8> body_;
    protocol_phy::Stats stats_;
};
