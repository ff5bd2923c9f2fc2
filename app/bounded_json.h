// The one JSON reader of the box. Every JSON file the box reads comes from
// outside (a PC's upload, a user mode's copy of one), and Boost's JSON
// parser takes one stack frame per nesting level and one tree node per
// value: a file of 100,000 "[" would overflow the stack, 5 MB of "0," would
// take hundreds of megabytes. So a single scan looks at the bytes first and
// refuses a document that is longer, deeper or holds more values than any
// of the box's formats can use; only then does the parser see it.
// docs/protocol.md gives the bounds beside the file formats.
#pragma once

#include <boost/property_tree/ptree.hpp>
#include <cstddef>
#include <string>
#include <unordered_map>

namespace boundedJson {

// Largest document: the largest file a transfer may carry.
constexpr size_t kMaxBytes = 5242880;
// Deepest nesting of arrays and objects; the formats use four levels.
constexpr int kMaxDepth = 8;
// Most values (array elements and object members, nested ones included).
constexpr size_t kMaxValues = 20000;

// Why `text` may not go to the parser, or an empty string when it may.
// Looks at every byte once and allocates nothing.
std::string screen(const std::string& text);

// Screens `text` and parses it into `root`. False, with the reason in
// `reason` (when given), for a refused document or one that is not JSON.
bool parse(const std::string& text, boost::property_tree::ptree& root, std::string* reason = nullptr);

// What a JSON value is. The parsed tree alone cannot tell: an empty object,
// an empty array and an empty string all come out as an empty node, "5" and
// 5 as the same text.
enum class Kind { Object, Array, String, Number, Boolean, Null };
// The kind of each value of a parsed document, by its node in the tree.
using Kinds = std::unordered_map<const boost::property_tree::ptree*, Kind>;

// As parse(), and gives the kind of every value of the document in `kinds`.
bool parse(const std::string& text, boost::property_tree::ptree& root, Kinds& kinds, std::string* reason = nullptr);

enum class FileRead {
    Missing,  // no such file, or it cannot be read
    Refused,  // larger than kMaxBytes (not read), or parse() refused it
    Read,
};

// Reads the box file `boxPath` (never more than kMaxBytes of it) and parses
// it into `root`.
FileRead readFile(const std::string& boxPath, boost::property_tree::ptree& root, std::string* reason = nullptr);

}  // namespace boundedJson
