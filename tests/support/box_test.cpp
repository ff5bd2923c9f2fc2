#include "tests/support/box_test.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

void BoxTest::SetUp()
{
    ASSERT_TRUE(tmp_.isValid());
    root_ = tmp_.path().toStdString();
    platform::sim::resetBox(root_);
    platform::sim::setRebootHandler([] {});
}

void BoxTest::TearDown()
{
    platform::sim::setRebootHandler(nullptr);
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
