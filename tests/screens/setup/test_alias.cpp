// The alias file: entries by number or string id, several lists of one
// name, entries switched off or without a name, files that lack keys, and a
// file that is not JSON, which goes.
#include "screens/setup/alias.h"
#include "screens/setup/sourceinfo.h"
#include "tests/support/box_test.h"

namespace {

const char* const kFile = "/data/configs/alias.json";

}  // namespace

class AliasFile : public BoxTest {};

TEST_F(AliasFile, LookupsByListAndId)
{
    const std::string sample = R"({"filename": "/data/configs/alias.json", "namelist": {
        "source": [{"id": 1, "valid": "on", "name": "Stage"}, {"id": "2", "valid": "on", "name": "Кафедра"},
                   {"id": "x", "valid": "on", "name": "no id"}, {"valid": "on", "name": "no id either"},
                   {"id": 3, "valid": "off", "name": "Off"}, {"id": 3, "valid": "on", "name": "Later"},
                   {"id": 0, "valid": "on", "name": ""}],
        "crop": [{"id": 5, "name": "no valid"}, {"id": 6, "valid": "on"}],
        "source": [{"id": 7, "valid": "yes", "name": "Second list"}]}})";
    const struct {
        const char* list;
        int id;
        int result;
        const char* name;  // what the record holds afterwards
    } cases[] = {
        {"source", 1, 1, "Stage"},        // id as a number
        {"source", 2, 1, "Кафедра"},      // as a string, UTF-8 kept
        {"source", 7, 1, "Second list"},  // a later list of the same name
        {"source", 3, 0, "Off"},          // the first entry counts, switched off
        {"source", 0, 0, ""},             // no name
        {"source", 4, 0, "untouched"},    // no such entry
        {"win", 1, 0, "untouched"},       // no such list
        {"Source", 1, 0, "untouched"},    // names are case-sensitive
        {"crop", 5, 0, "untouched"},      // lacks "valid"
        {"crop", 6, 0, "untouched"},      // lacks "name"
    };
    writeBoxFile(kFile, sample);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.list) + " " + std::to_string(c.id));
        ALIAS_PARA out;
        out.name = "untouched";
        EXPECT_EQ(get_json_alias_para(&out, c.list, c.id), c.result);
        EXPECT_EQ(out.name, c.name);
    }
    EXPECT_EQ(readBoxFile(kFile), sample);
}

TEST_F(AliasFile, AFileThatIsNotJsonGoesAndAFileWithoutListsStays)
{
    ALIAS_PARA out;
    EXPECT_EQ(get_json_alias_para(&out, "source", 1), 0);  // no file
    const std::string noLists = R"({"filename": "/data/configs/alias.json"})";
    writeBoxFile(kFile, noLists);
    EXPECT_EQ(get_json_alias_para(&out, "source", 1), 0);
    EXPECT_EQ(readBoxFile(kFile), noLists);
    writeBoxFile(kFile, R"({"namelist": {"source": [{"id": 1, "valid": "on", "na)");
    EXPECT_EQ(get_json_alias_para(&out, "source", 1), 0);
    EXPECT_FALSE(platform::exists(kFile));
    // Nested deeper than any alias file is: refused before it is parsed
    // (100,000 levels overflowed the parser's stack), and it goes too.
    writeBoxFile(kFile, std::string(100000, '[') + std::string(100000, ']'));
    EXPECT_EQ(get_json_alias_para(&out, "source", 1), 0);
    EXPECT_FALSE(platform::exists(kFile));
}

TEST(SourceInfo, ListOrderIsHdmi1Hdmi2Hdmi3DviBothWays)
{
    const char* const names[] = {"HDMI1", "HDMI2", "HDMI3", "DVI"};
    for (u8 seq = 0; seq < 4; ++seq) {
        const u8 id = sourceinfo::get_source_id_by_listseq(seq);
        EXPECT_EQ(sourceinfo::get_listseq_by_source_id(id), seq);
        EXPECT_EQ(sourceinfo::get_source_name_by_sourceid(id), QString::fromLatin1(names[seq]));
        EXPECT_EQ(sourceinfo::get_source_name_by_listseq(seq), QString::fromLatin1(names[seq]));
    }
    EXPECT_EQ(sourceinfo::get_source_id_by_listseq(7), 0);
    EXPECT_EQ(sourceinfo::get_listseq_by_source_id(9), 0);
    EXPECT_TRUE(sourceinfo::get_source_name_by_sourceid(4).isEmpty());
    EXPECT_TRUE(sourceinfo::get_source_specialstyle1_by_sourceid(5, QStringLiteral("X"), 1).isEmpty());
    EXPECT_EQ(sourceinfo::get_source_specialstyle1_by_sourceid(1, QStringLiteral("HDMI1"), 3),
              QStringLiteral("<font style = 'font-size:9px' color = #ffffff >HDMI1</font>"
                             "<font style = 'font-size:9px' color = #4777ff >(</font>"
                             "<font style = 'font-size:9px' color = #4777ff >3</font>"
                             "<font style = 'font-size:9px' color = #4777ff >)</font>"));
}
