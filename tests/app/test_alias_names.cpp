// The check an alias upload passes before it is stored: it takes every file
// whose lists the pages can look names up in, and refuses a file of the
// wrong shape, which would otherwise replace a good one and name nothing.
#include "app/alias_names.h"

#include <gtest/gtest.h>

namespace {

bool taken(const std::string& text)
{
    return aliasNames::fault(text).empty();
}

std::string withSource(const std::string& entries)
{
    return R"({"namelist":{"source":[)" + entries + "]}}";
}

}  // namespace

TEST(AliasNamesCheck, TakesEveryFileThePagesCanRead)
{
    for (const std::string& text : {
             std::string(R"({"namelist":{}})"),
             withSource(""),
             withSource(R"({"id":1,"valid":"on","name":"Stage"},{"id":"2","valid":"off","name":""})"),
             withSource(R"({"id":"3","valid":"yes","name":"Кафедра","colour":[1]})"),               // further keys
             withSource(R"({"id":-1,"valid":"on","name":"x"},{"id":99,"valid":"on","name":"y"})"),  // no such input
             std::string(R"({"filename":"/data/configs/alias.json","namelist":{"win":[],"crop":[],)"
                         R"("usermode":[{"id":15,"valid":"on","name":"Night"}],"notes":"any","other":5}})"),
             // A second "namelist" is never read: the first counts.
             std::string(R"({"namelist":{"source":[]},"namelist":5})"),
         })
        EXPECT_TRUE(taken(text)) << text << ": " << aliasNames::fault(text);
}

TEST(AliasNamesCheck, RefusesAFileOfTheWrongShapeAndSaysWhere)
{
    const struct {
        std::string text;
        const char* says;
    } cases[] = {
        {R"({"namelist":[]})", "\"namelist\" is not an object"},
        {R"({"namelist":[{"source":[]}]})", "\"namelist\" is not an object"},
        {R"({"namelist":5})", "\"namelist\" is not an object"},
        {R"({"namelist":"source"})", "\"namelist\" is not an object"},
        {R"({"namelist":""})", "\"namelist\" is not an object"},
        {R"({"namelist":null})", "\"namelist\" is not an object"},
        {R"({"names":{}})", "no \"namelist\""},
        {R"({"namelist":{"source":{"id":1,"valid":"on","name":"x"}}})", "\"source\" is not an array"},
        {R"({"namelist":{"win":[],"crop":"x"}})", "\"crop\" is not an array"},
        {withSource(R"({"id":1,"valid":"on","name":"x"},7)"), "\"source\" entry 1: not an object"},
        {withSource(R"({"id":"two","valid":"on","name":"x"})"), "\"source\" entry 0: no integer \"id\""},
        {withSource(R"({"id":1.5,"valid":"on","name":"x"})"), "no integer \"id\""},
        {withSource(R"({"id":true,"valid":"on","name":"x"})"), "no integer \"id\""},
        {withSource(R"({"id":[1],"valid":"on","name":"x"})"), "no integer \"id\""},
        {withSource(R"({"id":99999999999,"valid":"on","name":"x"})"), "no integer \"id\""},
        {withSource(R"({"valid":"on","name":"x"})"), "no integer \"id\""},
        {withSource(R"({"id":1,"name":"x"})"), "no text \"valid\""},
        {withSource(R"({"id":1,"valid":"on","name":5})"), "no text \"name\""},
        {withSource(R"({"id":1,"valid":"on","name":{}})"), "no text \"name\""},
        {R"({"namelist":{"source":[]},"x":)", ""},  // not JSON: the reader's own words
    };
    for (const auto& c : cases) {
        const std::string why = aliasNames::fault(c.text);
        EXPECT_FALSE(why.empty()) << c.text;
        EXPECT_NE(why.find(c.says), std::string::npos) << c.text << ": " << why;
    }
}
