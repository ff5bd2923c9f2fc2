#include "tests/support/box_test.h"
#include "tests/support/box_reset.h"

#include "app/kelrampara.h"
#include "fpga/fpga_manage.h"
#include "platform/sim/sim_control.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <fcntl.h>
#include <unistd.h>

void BoxTest::SetUp()
{
    ASSERT_TRUE(tmp_.isValid());
    root_ = tmp_.path().toStdString();
    platform::sim::resetBox(root_);
    ASSERT_TRUE(platform::sim::setBoxAddress(freshBoxAddress()));
    platform::sim::setRebootHandler([] {});
}

void BoxTest::TearDown()
{
    // While the box root is still there; the rest of the box is put back
    // after the case (putBoxBack).
    stopBoxThreads();
}

std::string BoxTest::readBoxFile(const std::string& boxPath)
{
    std::string data;
    platform::readFile(boxPath, data);
    return data;
}

void BoxTest::writeBoxFile(const std::string& boxPath, const std::string& data)
{
    std::string dir = boxPath.substr(0, boxPath.rfind('/'));
    platform::makeDirs(dir.empty() ? "/" : dir);
    ASSERT_TRUE(platform::writeFileAtomic(boxPath, data));
}

std::vector<std::string> BoxTest::journalWith(const std::string& prefix)
{
    std::vector<std::string> out;
    for (const auto& line : platform::sim::shellJournal())
        if (line.rfind(prefix, 0) == 0)
            out.push_back(line);
    return out;
}

std::string BoxTest::control(const std::string& line)
{
    namespace sim = platform::sim;
    if (!sim::startControlPipe())
        return std::string();
    const size_t logged = readBoxFile(sim::kControlLog).size();
    const int fd = ::open(platform::path(sim::kControlPipe).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    const std::string text = line + "\n";
    const bool written = fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (fd >= 0)
        ::close(fd);
    std::string outcome;
    if (written)
        waitUntil([&] {
            const std::string log = readBoxFile(sim::kControlLog);
            const size_t end = log.find('\n', logged);
            if (end == std::string::npos)
                return false;
            outcome = log.substr(logged, end - logged);
            return true;
        });
    return outcome;
}

uint16_t BoxTest::paraFileField(int blockOffset)
{
    const std::string file = readBoxFile(KelRamPara::kParaFile);
    const size_t at = 2 + blockOffset - ram::kSavedStart;  // after the two marker bytes
    return at + 2 <= file.size() ? ram::loadU16(reinterpret_cast<const u8*>(file.data()) + at) : 0;
}

std::string freshBoxAddress()
{
    static std::atomic<unsigned> made{0};
    const auto pid = static_cast<unsigned>(::getpid());
    const unsigned last = 2 + made++ % 253;  // 2-254
    return "127." + std::to_string(((pid >> 8) ^ (pid >> 16)) & 0xFF) + "." + std::to_string(pid & 0xFF) + "." +
           std::to_string(last);
}

bool waitUntil(const std::function<bool()>& cond, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!cond()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

fpga_manage* fpgaManagerOutOfReset()
{
    fpga_manage* m = fpga_manage::pInstance();
    // The marks of the box's root, not those an earlier box left in memory.
    m->loadIncompleteMarks();
    *m->gpio_rst_fpga0 = fpga::kRstRun;
    *m->gpio_rst_fpga1 = fpga::kRstRun;
    return m;
}

bool fpgaZeroBroughtUp()
{
    fpga_manage* m = fpga_manage::p_fpga_manage ? fpga_manage::p_fpga_manage : fpgaManagerOutOfReset();
    for (int i = 0; i < 10 && !m->get_fpga_status(); ++i)
        m->fpga_manage_deal();
    return m->get_fpga_status() == 1;
}

fpga_manage* fpgaManagerRunning()
{
    fpga_manage* m = fpga_manage::pInstance();
    m->initialize_start();
    return waitUntil([m] { return m->get_fpga_status() == 1; }) ? m : nullptr;
}
