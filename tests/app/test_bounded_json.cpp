// The one JSON reader: the nesting, value and size bounds at their edges,
// brackets inside strings, and a file too large to be read at all.
#include "app/bounded_json.h"
#include "tests/support/box_test.h"

#include <QDirIterator>
#include <QFile>
#include <boost/property_tree/ptree.hpp>

namespace {

std::string nested(int depth)
{
    return std::string(size_t(depth), '[') + std::string(size_t(depth), ']');
}

bool parses(const std::string& text)
{
    boost::property_tree::ptree root;
    return boundedJson::parse(text, root);
}

// An array of `n` numbers.
std::string values(size_t n)
{
    std::string out = "[0";
    for (size_t i = 1; i < n; ++i)
        out += ",0";
    return out + "]";
}

}  // namespace

TEST(BoundedJson, NestingIsRefusedBeyondTheBoundBeforeTheParserSeesIt)
{
    EXPECT_TRUE(parses(nested(boundedJson::kMaxDepth)));
    EXPECT_FALSE(parses(nested(boundedJson::kMaxDepth + 1)));
    std::string reason;
    boost::property_tree::ptree root;
    EXPECT_FALSE(boundedJson::parse(nested(100000), root, &reason));  // would overflow the parser's stack
    EXPECT_NE(reason.find("nested"), std::string::npos) << reason;
    std::string objects;
    for (int i = 0; i < 100000; ++i)
        objects += "{\"a\":";
    EXPECT_FALSE(parses(objects));
    // Brackets inside strings, escaped quotes among them, are text.
    const std::string deepText = "{\"t\":\"\\\"" + nested(50) + "\\\\\",\"u\":[\"]]]]\"]}";
    EXPECT_TRUE(parses(deepText));
    EXPECT_FALSE(parses("{\"a\":1"));  // what is not JSON still fails in the parser
}

TEST(BoundedJson, ValuesAndSizeAreBounded)
{
    EXPECT_TRUE(parses(values(boundedJson::kMaxValues)));
    EXPECT_FALSE(parses(values(boundedJson::kMaxValues + 1)));
    EXPECT_FALSE(parses(std::string(boundedJson::kMaxBytes + 1, ' ')));
}

// What the tree alone cannot tell apart ({}, [] and "" are all an empty
// node; 5 and "5" the same text), for every node, names and strings full of
// JSON's own characters among them.
TEST(BoundedJson, KindsTellEveryValueWhatItIs)
{
    using K = boundedJson::Kind;
    const std::string text = R"( {"o":{}, "a":[], "s":"", "n":-1.5e+3, "t":"5", "b":[true,false,null],)"
                             R"( "{\"x\":[1,": {"k": "a,b:c}]\"", "m": [{"":0}, [[]], 120]}} )";
    boost::property_tree::ptree root;
    boundedJson::Kinds kinds;
    ASSERT_TRUE(boundedJson::parse(text, root, kinds));
    auto kind = [&](const boost::property_tree::ptree& node) { return kinds.at(&node); };
    EXPECT_EQ(kinds.size(), 18u);
    EXPECT_EQ(kind(root), K::Object);
    EXPECT_EQ(kind(root.get_child("o")), K::Object);
    EXPECT_EQ(kind(root.get_child("a")), K::Array);
    EXPECT_EQ(kind(root.get_child("s")), K::String);
    EXPECT_EQ(kind(root.get_child("n")), K::Number);
    EXPECT_EQ(kind(root.get_child("t")), K::String);
    std::vector<K> literals;
    for (const auto& e : root.get_child("b"))
        literals.push_back(kind(e.second));
    EXPECT_EQ(literals, (std::vector<K>{K::Boolean, K::Boolean, K::Null}));
    const auto& odd = root.get_child(boost::property_tree::ptree::path_type("{\"x\":[1,", '|'));
    EXPECT_EQ(kind(odd), K::Object);
    EXPECT_EQ(kind(odd.get_child("k")), K::String);
    std::vector<K> mixed;
    for (const auto& e : odd.get_child("m"))
        mixed.push_back(kind(e.second));
    EXPECT_EQ(mixed, (std::vector<K>{K::Object, K::Array, K::Number}));
    EXPECT_EQ(kind(odd.get_child("m").front().second.front().second), K::Number);
    EXPECT_FALSE(boundedJson::parse("[1,", root, kinds));
}

class BoundedJsonFile : public BoxTest {};

TEST_F(BoundedJsonFile, AFileLargerThanTheBoundIsNotRead)
{
    boost::property_tree::ptree root;
    std::string reason;
    EXPECT_EQ(boundedJson::readFile("/data/none.json", root), boundedJson::FileRead::Missing);
    writeBoxFile("/data/big.json", "[" + std::string(boundedJson::kMaxBytes, ' ') + "]");
    EXPECT_EQ(boundedJson::readFile("/data/big.json", root, &reason), boundedJson::FileRead::Refused);
    EXPECT_NE(reason.find("larger"), std::string::npos) << reason;
    writeBoxFile("/data/ok.json", R"({"a":{"b":"c"}})");
    ASSERT_EQ(boundedJson::readFile("/data/ok.json", root), boundedJson::FileRead::Read);
    EXPECT_EQ(root.get<std::string>("a.b"), "c");
}

// A reader that handed a file straight to Boost's parser would bring the
// stack overflow back: only the bounded reader includes the parser.
TEST(BoundedJson, NoOtherCodeIncludesTheJsonParser)
{
    const QString root = QStringLiteral(KEL_SOURCE_DIR);
    QStringList users;
    for (const char* folder : {"app", "videochip", "videoio", "fpga", "links", "screens", "tools", "platform"}) {
        QDirIterator it(root + "/" + folder, {"*.cpp", "*.h"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            const QByteArray src = f.readAll();
            if (src.contains("json_parser") || src.contains("read_json"))
                users << f.fileName().mid(root.size() + 1);
        }
    }
    EXPECT_EQ(users, QStringList{"app/bounded_json.cpp"});
}
