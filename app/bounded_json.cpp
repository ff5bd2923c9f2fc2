#include "app/bounded_json.h"

#include "platform/platform.h"

#include <boost/property_tree/json_parser.hpp>
#include <sstream>
#include <vector>

namespace boundedJson {

namespace {

constexpr char kQuote = '"';
constexpr char kEscape = '\\';

bool opens(char c)
{
    return c == '[' || c == '{';
}
bool closes(char c)
{
    return c == ']' || c == '}';
}

// Where the string that opens at `at` ends (its closing quote).
size_t stringEnd(const std::string& text, size_t at)
{
    for (size_t i = at + 1; i < text.size(); ++i) {
        if (text[i] == kEscape)
            ++i;
        else if (text[i] == kQuote)
            return i;
    }
    return text.size();
}

bool inNumber(char c)
{
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

// The kind of every value of a document the parser took, in the order the
// parser meets them: a container before the values inside it, members and
// elements in file order. Member names are not values.
std::vector<Kind> valueKinds(const std::string& text)
{
    std::vector<Kind> kinds;
    std::vector<bool> inObject;  // one per open container
    bool name = false;           // the next string names a member
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == kQuote) {
            i = stringEnd(text, i);
            if (!name)
                kinds.push_back(Kind::String);
            name = false;
        } else if (opens(c)) {
            kinds.push_back(c == '{' ? Kind::Object : Kind::Array);
            inObject.push_back(c == '{');
            name = c == '{';
        } else if (closes(c)) {
            if (!inObject.empty())
                inObject.pop_back();
            name = false;
        } else if (c == ',') {
            name = !inObject.empty() && inObject.back();
        } else if (c == 't' || c == 'f') {
            kinds.push_back(Kind::Boolean);  // the literal's other letters start nothing
        } else if (c == 'n') {
            kinds.push_back(Kind::Null);
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            kinds.push_back(Kind::Number);
            while (i + 1 < text.size() && inNumber(text[i + 1]))
                ++i;
        }
    }
    return kinds;
}

// Gives each node of `node`'s tree its kind, in the parser's order.
bool nameKinds(const boost::property_tree::ptree& node, const std::vector<Kind>& order, size_t& next, Kinds& kinds)
{
    if (next >= order.size())
        return false;
    kinds[&node] = order[next++];
    for (const auto& child : node)
        if (!nameKinds(child.second, order, next, kinds))
            return false;
    return true;
}

}  // namespace

std::string screen(const std::string& text)
{
    if (text.size() > kMaxBytes)
        return "larger than " + std::to_string(kMaxBytes) + " bytes";
    int depth = 0;
    size_t values = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == kQuote) {
            i = stringEnd(text, i);
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

bool parse(const std::string& text, boost::property_tree::ptree& root, Kinds& kinds, std::string* reason)
{
    if (!parse(text, root, reason))
        return false;
    const std::vector<Kind> order = valueKinds(text);
    size_t next = 0;
    kinds.clear();
    if (nameKinds(root, order, next, kinds) && next == order.size())
        return true;
    if (reason)
        *reason = "its values cannot be told apart";  // never for a document the parser took
    return false;
}

FileRead readFile(const std::string& boxPath, boost::property_tree::ptree& root, std::string* reason)
{
    std::string bytes;
    switch (platform::readFileUpTo(boxPath, bytes, kMaxBytes)) {
    case platform::ReadResult::Missing: return FileRead::Missing;
    case platform::ReadResult::TooLarge:
        if (reason)
            *reason = "larger than " + std::to_string(kMaxBytes) + " bytes";
        return FileRead::Refused;
    case platform::ReadResult::Read: break;
    }
    return parse(bytes, root, reason) ? FileRead::Read : FileRead::Refused;
}

}  // namespace boundedJson
