#include "app/bounded_json.h"

#include "platform/platform.h"

#include <boost/property_tree/json_parser.hpp>
#include <sstream>

namespace boundedJson {

namespace {

constexpr char kQuote = '"';
constexpr char kEscape = '\\';

bool opens(char c) { return c == '[' || c == '{'; }
bool closes(char c) { return c == ']' || c == '}'; }

}  // namespace

std::string screen(const std::string& text)
{
    if (text.size() > kMaxBytes)
        return "larger than " + std::to_string(kMaxBytes) + " bytes";
    int depth = 0;
    size_t values = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == kEscape)
                escaped = true;
            else if (c == kQuote)
                inString = false;
            continue;
        }
        if (c == kQuote) {
            inString = true;
        } else if (opens(c)) {
            if (++depth > kMaxDepth)
                return "nested deeper than " + std::to_string(kMaxDepth) + " levels";
            ++values;  // the container's first member
        } else if (closes(c)) {
            --depth;  // an unmatched close is the parser's to refuse
        } else if (c == ',') {
            ++values;
        }
        if (values > kMaxValues)
            return "more than " + std::to_string(kMaxValues) + " values";
    }
    return std::string();
}

bool parse(const std::string& text, boost::property_tree::ptree& root, std::string* reason)
{
    std::string fault = screen(text);
    if (fault.empty()) {
        try {
            std::istringstream in(text);
            boost::property_tree::ptree read;
            boost::property_tree::read_json(in, read);
            root.swap(read);
            return true;
        } catch (const boost::property_tree::json_parser_error& e) {
            fault = e.what();
        }
    }
    if (reason)
        *reason = fault;
    return false;
}

FileRead readFile(const std::string& boxPath, boost::property_tree::ptree& root, std::string* reason)
{
    std::string bytes;
    switch (platform::readFileUpTo(boxPath, bytes, kMaxBytes)) {
    case platform::ReadResult::Missing:
        return FileRead::Missing;
    case platform::ReadResult::TooLarge:
        if (reason)
            *reason = "larger than " + std::to_string(kMaxBytes) + " bytes";
        return FileRead::Refused;
    case platform::ReadResult::Read:
        break;
    }
    return parse(bytes, root, reason) ? FileRead::Read : FileRead::Refused;
}

}  // namespace boundedJson
