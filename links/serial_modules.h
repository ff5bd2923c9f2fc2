// A serial control link: the port, opened through the platform and set up
// with termios, run by the link base's thread with the link's command handler
// and send list. The RS-485 link (`Zt_uart_inout`) and the 4G modem link
// (`Zt_uart_inout_4G`) are two of these.
#pragma once

#include "app/global.h"
#include "links/control_link.h"

#include <string>
#include <termios.h>

class serial_modules : public ControlLink {
public:
    struct Options {
        std::string device;  // box path of the port
        int speed;           // baud
        bool rs485;          // drive RTS high while sending (the RS-485 transmit direction)
        u8 link;             // message_deal::Link
        const char* name;    // the link's thread name, also in diagnostics
    };

    // start() is false when the port cannot be opened or set up (the link
    // then stays silent).
    explicit serial_modules(const Options& options);

    // termios set-up of an open port: the speed (unknown speeds become
    // 115200), and a raw line of `databits` (7 or 8), `stopbits` (1 or 2) and
    // parity 'N', 'E' or 'O'. 0 on success, -1 on failure.
    static int set_speed(int fd, int speed);
    static int set_parity(int fd, int databits, int stopbits, char parity);
    static speed_t baud(int speed);
    // Bytes one read may take: (g_dataLen << 10) | 28.
    static size_t readSize();
};
