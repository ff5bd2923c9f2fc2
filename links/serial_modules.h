// A serial control link: the port, opened through the platform and set up
// with termios; the receive thread that feeds the frame codec and the
// command handler; and the send list. The RS-485 link (`Zt_uart_inout`) and
// the 4G modem link (`Zt_uart_inout_4G`) are two of these.
#pragma once

#include "app/global.h"
#include "links/message_deal.h"
#include "links/protocol_phy.h"
#include "links/send_list.h"

#include <atomic>
#include <string>
#include <termios.h>
#include <thread>
#include <vector>

class serial_modules {
public:
    struct Options {
        std::string device;  // box path of the port
        int speed;           // baud
        bool rs485;          // drive RTS high while sending (the RS-485 transmit direction)
        u8 link;             // message_deal::Link
        const char* name;    // for diagnostics
    };

    explicit serial_modules(Options options);
    ~serial_modules();
    serial_modules(const serial_modules&) = delete;
    serial_modules& operator=(const serial_modules&) = delete;

    // Opens and sets up the port and starts the receive thread. False when
    // the port cannot be opened or set up (the link then stays silent).
    bool start();
    // Ends the receive thread and closes the port.
    void stop();
    bool running() const { return thread_.joinable(); }
    // Any thread: queues an encoded frame for sending.
    void send(std::vector<u8> frame) { sends_.push(std::move(frame)); }
    const protocol_phy::Stats& codecStats() const { return codec_.stats(); }

    // termios set-up of an open port: the speed (unknown speeds become
    // 115200), and a raw line of `databits` (7 or 8), `stopbits` (1 or 2) and
    // parity 'N', 'E' or 'O'. 0 on success, -1 on failure.
    static int set_speed(int fd, int speed);
    static int set_parity(int fd, int databits, int stopbits, char parity);
    static speed_t baud(int speed);
    // Bytes one read may take: (g_dataLen << 10) | 28.
    static size_t readSize();

private:
    void run();
    void serveInput();
    void writeFrame(const std::vector<u8>& frame);
    bool writeAll(const u8* data, size_t len);
    void setRts(bool transmit);

    Options options_;
    int fd_ = -1;
    send_list sends_;
    message_deal handler_;
    protocol_phy codec_;
    std::vector<u8> rx_;
    std::thread thread_;
};
