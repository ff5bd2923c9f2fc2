// The table of control commands and the running of one command line: the
// same on both back ends (only the host reads lines from a pipe), and thread
// names.
#include "platform/box_state.h"
#include "platform/platform.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <pthread.h>
#include <sstream>

namespace platform {
namespace {

struct CommandTable {
    std::mutex mutex;
    std::map<std::string, ControlCommand> byName;  // sorted, for the list in a refusal
};

// Lives as long as the process; what a box added goes with it at a put-back,
// as a fresh process knows no command.
CommandTable& table()
{
    static CommandTable* t = [] {
        auto* made = new CommandTable;
        boxstate::keep(boxstate::Step::StartValues, [made] {
            std::lock_guard<std::mutex> lock(made->mutex);
            made->byName.clear();
        });
        return made;
    }();
    return *t;
}

std::vector<std::string> wordsOf(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

// The line as the log shows it: one line, printable.
std::string printable(const std::string& line)
{
    std::string out;
    for (const char c : line)
        out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
    return out;
}

std::string commandNames(const CommandTable& t)
{
    std::string names;
    for (const auto& entry : t.byName)
        names += (names.empty() ? "" : ", ") + entry.first;
    return names;
}

// Finds the command and checks the number of its arguments: the empty
// string and the command, or the reason it cannot run.
std::string lookUp(const std::vector<std::string>& words, ControlCommand& found)
{
    CommandTable& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    const auto it = t.byName.find(words[0]);
    if (it == t.byName.end())
        return "unknown command (commands: " + commandNames(t) + ")";
    const size_t args = words.size() - 1;
    if (args < it->second.minArgs || args > it->second.maxArgs)
        return "usage: " + it->first + (it->second.usage.empty() ? "" : " " + it->second.usage);
    found = it->second;
    return std::string();
}

}  // namespace

void addControlCommand(ControlCommand command)
{
    CommandTable& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    const std::string name = command.name;
    t.byName[name] = std::move(command);
}

std::string runControlLine(const std::string& line)
{
    const std::vector<std::string> words = wordsOf(line);
    if (words.empty())
        return std::string();
    std::string shown;
    for (const std::string& w : words)
        shown += (shown.empty() ? "" : " ") + w;
    shown = printable(shown);
    ControlCommand command;
    std::string reason = lookUp(words, command);
    if (reason.empty())
        reason = command.run(std::vector<std::string>(words.begin() + 1, words.end()));
    return reason.empty() ? "ok " + shown : "error " + shown + ": " + reason;
}

bool controlNumber(const std::string& word, long min, long max, long& out)
{
    if (word.empty() || word.size() > 9 || word.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const long v = std::strtol(word.c_str(), nullptr, 10);
    if (v < min || v > max)
        return false;
    out = v;
    return true;
}

void nameThread(const char* name)
{
    constexpr size_t kKernelNameLength = 15;
    const std::string cut = std::string(name).substr(0, kKernelNameLength);
    pthread_setname_np(pthread_self(), cut.c_str());
}

}  // namespace platform
