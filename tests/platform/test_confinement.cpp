// The program reaches the machine only through platform/: no shell, no
// process, no device node, no box path and no socket address of its own is
// touched directly elsewhere.
#include "tests/support/box_test.h"
#include "tests/support/program_process.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace {

// Removes comments, keeping string literals (box paths live in them).
std::string stripComments(const std::string& src)
{
    std::string out;
    out.reserve(src.size());
    enum { Code, Line, Block, Str, Chr } st = Code;
    for (size_t i = 0; i < src.size(); ++i) {
        char c = src[i], n = i + 1 < src.size() ? src[i + 1] : '\0';
        switch (st) {
        case Code:
            // clang-format off
            if (c == '/' && n == '/') { st = Line; ++i; continue; }
            if (c == '/' && n == '*') { st = Block; ++i; continue; }
            if (c == '"') st = Str;
            else if (c == '\'') st = Chr;
            // clang-format on
            out += c;
            break;
        case Line:
            if (c == '\n') {
                st = Code;
                out += c;
            }
            break;
        case Block:
            if (c == '*' && n == '/') {
                st = Code;
                ++i;
            } else if (c == '\n')
                out += c;
            break;
        case Str:
        case Chr:
            out += c;
            if (c == '\\') {
                out += n;
                ++i;
            } else if ((st == Str && c == '"') || (st == Chr && c == '\''))
                st = Code;
            break;
        }
    }
    return out;
}

struct Rule {
    const char* what;
    std::regex re;
};

const std::vector<Rule>& rules()
{
    static const std::vector<Rule> r = {
        {"system()", std::regex(R"((^|[^\w.>])(::|std::)?system\s*\()")},
        {"popen()", std::regex(R"(\bpopen\s*\()")},
        {"exec*()", std::regex(R"(\bexec(l|lp|le|v|vp|vpe|ve)\s*\()")},
        {"fork()", std::regex(R"(\b(v)?fork\s*\()")},
        {"raw open()", std::regex(R"((::open|\bopen)\s*\(\s*")")},
        {"::open()", std::regex(R"(::open\s*\()")},
        {"fopen()", std::regex(R"(\bfopen\s*\()")},
        {"ioctl()", std::regex(R"((^|[^\w])(::)?ioctl\s*\()")},
        {"mmap()", std::regex(R"((^|[^\w])(::)?mmap\s*\()")},
        {"opendir()", std::regex(R"(\bopendir\s*\()")},
        {"box path opened directly",
         std::regex(
             R"(\b(QFile|QSaveFile|QSettings|QDir|QFileInfo|ifstream|ofstream|fstream)\b\s*(\w+\s*)?[({]\s*(QString(Literal)?\s*\(\s*|QLatin1String\s*\(\s*)?"/)")},
        {"box path handed to a file call",
         std::regex(
             R"(\b((QFile|QDir|QFileInfo)::\w+|setFileName|setPath|mkpath|rmpath)\s*\(\s*(QString(Literal)?\s*\(\s*)?"/)")},
        {"box path handed to a JSON reader", std::regex(R"(\b(read_json|write_json)\s*\(\s*"/)")},
        {"socket address chosen outside the platform",
         std::regex(R"(\bINADDR_\w+|\bQ(HostAddress|TcpServer|TcpSocket|UdpSocket)\b)")},
    };
    return r;
}

// What fails on the 32-bit box for a time past 2038, as Debian builds Qt and
// libstdc++ there with 32-bit times: Qt's clock and file times, and every
// std::filesystem call that asks the system what a file is, how large or
// how old (directly, or on its way: copy, create_directories, remove_all).
const std::vector<Rule>& timeRules()
{
    static const std::vector<Rule> r = {
        {"Qt's clock", std::regex(R"(\bQ(DateTime|Date|Time)\s*::\s*current\w*\s*\()")},
        {"Qt's file times",
         std::regex(R"((\.|->)\s*(lastModified|birthTime|created|lastRead|metadataChangeTime|fileTime)\s*\()")},
        {"std::filesystem asking what a file is",
         std::regex(R"(\b(fs|filesystem)\s*::\s*(exists|is_directory|is_regular_file|is_symlink|is_fifo|is_socket|)"
                    R"(is_block_file|is_character_file|is_other|is_empty|status|symlink_status|status_known|)"
                    R"(last_write_time|file_size|hard_link_count|equivalent|copy|copy_file|create_directories|)"
                    R"(create_directory|remove_all|recursive_directory_iterator|canonical|weakly_canonical)\b)")},
        {"a directory entry asked what its file is",
         std::regex(R"((\.|->)\s*(is_directory|is_regular_file|is_symlink|is_fifo|is_socket|is_block_file|)"
                    R"(is_character_file|is_other|last_write_time|file_size|hard_link_count|symlink_status)\s*\()")},
    };
    return r;
}

std::vector<std::string> violations(const std::string& source, const std::vector<Rule>& which = rules())
{
    std::vector<std::string> found;
    const std::string code = stripComments(source);
    for (const Rule& rule : which)
        if (std::regex_search(code, rule.re))
            found.push_back(rule.what);
    return found;
}

// Every source file of the product's folders, read whole.
std::vector<std::pair<std::string, std::string>> productSources(const QStringList& folders)
{
    std::vector<std::pair<std::string, std::string>> out;
    for (const QString& folder : folders) {
        QDirIterator it(QStringLiteral(KEL_SOURCE_DIR) + "/" + folder, {"*.cpp", "*.h"}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            if (f.open(QIODevice::ReadOnly))
                out.emplace_back(f.fileName().toStdString(), f.readAll().toStdString());
        }
    }
    return out;
}

}  // namespace

TEST(Confinement, TheCheckerCatchesEachKindOfEscape)
{
    const char* bad[] = {
        "int r = system(\"reboot\");",
        "std::system(cmd);",
        "FILE* f = popen(cmd, \"r\");",
        "execvp(argv[0], argv);",
        "pid_t p = fork();",
        "int fd = ::open(path, O_RDWR);",
        "int fd = open(\"/dev/spidev32766.0\", O_RDWR);",
        "FILE* f = fopen(name, \"rb\");",
        "ioctl(fd, SPI_IOC_MESSAGE(1), &tr);",
        "void* p = mmap(0, len, PROT_READ, MAP_SHARED, fd, 0);",
        "QFile f(\"/data/ram_device_info\");",
        "QSettings s(QString(\"/data/configs/tcpip.ini\"), QSettings::IniFormat);",
        "std::ifstream in(\"/data/configs/omenu.json\");",
        "boost::property_tree::read_json(\"/data/configs/alias.json\", pt);",
        "if (QFile::exists(\"/data/configs/omenu.json\")) {}",
        "QDir().mkpath(\"/data/modes\");",
        "addr.sin_addr.s_addr = htonl(INADDR_ANY);",
    };
    for (const char* src : bad)
        EXPECT_FALSE(violations(src).empty()) << src;
    const char* good[] = {
        "Utils::system_mutex(\"sync\", nullptr);",
        "platform::shellRun(\"sync\");",
        "int fd = platform::devOpen(\"/dev/mtd8\", O_RDWR);",
        "QFile f(platform::qpath(\"/data/ram_device_info\"));",
        "QFile png(\":/png/home.png\");",
        "// system(\"reboot\") in a comment",
        "const char* kFile = \"/data/configs/tcpip.ini\";",
        "platform::devIoctl(fd, MEMERASE, &region);",
        "addr.sin_addr.s_addr = htonl(platform::netBindAddress());",
    };
    for (const char* src : good)
        EXPECT_TRUE(violations(src).empty()) << src;
}

TEST(Confinement, ProgramCodeReachesTheMachineOnlyThroughThePlatform)
{
    const auto sources = productSources({"app", "videochip", "videoio", "fpga", "links", "screens", "tools"});
    for (const auto& [file, src] : sources)
        for (const std::string& v : violations(src))
            ADD_FAILURE() << file << ": " << v;
    EXPECT_GT(sources.size(), 3u);
}

TEST(Confinement, TheTimeCheckCatchesTheQtClockAndEveryQueryOfAFilesKindOrTime)
{
    const char* bad[] = {
        "const QDateTime now = QDateTime::currentDateTime();",
        "qint64 ms = QDateTime::currentMSecsSinceEpoch();",
        "QTime t = QTime::currentTime();",
        "QDate d = QDate :: currentDate();",
        "if (info.lastModified() > since) {}",
        "if (fs::is_directory(to)) {}",
        "bool there = std::filesystem::exists(p);",
        "fs::create_directories(p, ec);",
        "fs::remove_all(p, ec);",
        "auto t = fs::last_write_time(p);",
        "for (auto& e : fs::recursive_directory_iterator(p)) {}",
        "if (!e.is_symlink()) {}",
        "if (it->is_regular_file()) {}",
    };
    for (const char* src : bad)
        EXPECT_FALSE(violations(src, timeRules()).empty()) << src;
    const char* good[] = {
        "const struct tm now = platform::localNow();",
        "QElapsedTimer timer; timer.start();",
        "fs::path abs = fs::absolute(root, ec);",
        "std::string dir = fs::path(p).parent_path().string();",
        "for (fs::directory_iterator it(p, ec), end; !ec && it != end; it.increment(ec)) {}",
        "// fs::is_directory(p) in a comment",
        "if (::lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {}",
        "if (QFile::exists(name)) {}",
    };
    for (const char* src : good)
        EXPECT_TRUE(violations(src, timeRules()).empty()) << src;
}

// The board's Qt and libstdc++ read a time past 2038 as garbage or fail on
// it: product code, the platform and its simulator included, asks neither.
TEST(Confinement, ProductCodeAsksNeitherQtForTheTimeNorTheLibraryWhatAFileIs)
{
    const auto sources = productSources(
        {"app", "videochip", "videoio", "fpga", "links", "screens", "tools", "platform", "registers", "resources"});
    for (const auto& [file, src] : sources)
        for (const std::string& v : violations(src, timeRules()))
            ADD_FAILURE() << file << ": " << v;
    EXPECT_GT(sources.size(), 3u);
}

TEST(Confinement, AHostRunStaysInsideItsBoxRoot)
{
    if (!canStartPrograms())
        GTEST_SKIP() << "no program can be started here";
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    ProgramProcess box;
    ASSERT_TRUE(box.start({"--address", freshBoxAddress()}, work.path().toStdString())) << box.error();
    const QString ini = work.path() + "/box-root/data/configs/tcpip.ini";
    for (int i = 0; i < 300 && !QFile::exists(ini); ++i)
        QThread::msleep(50);
    QThread::msleep(300);
    box.kill();
    ASSERT_TRUE(QFile::exists(ini));
    // The working directory holds the box root and nothing else.
    EXPECT_EQ(QDir(work.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"box-root"});
    QFile log(work.path() + "/box-root/sim/shell.log");
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("chattr +S /data/configs/tcpip.ini"));
}
