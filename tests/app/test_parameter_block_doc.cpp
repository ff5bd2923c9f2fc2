// docs/parameter-block.md against the block's declared layout: every field of
// the block and of its records is in the page's tables, at its offset and
// with its width, and nothing else is.
#include "app/ram_para.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Field {
    std::string name;
    size_t offset;
    size_t bytes;
};

#define KEL_FIELD(S, m)                  \
    Field                                \
    {                                    \
#m, offsetof(S, m), sizeof(S::m) \
    }

// Every member of each record, reserved ones included. A member added to a
// record and not here leaves a gap or an overlap that the first test finds.
const std::map<std::string, std::pair<size_t, std::vector<Field>>>& declared()
{
    static const std::map<std::string, std::pair<size_t, std::vector<Field>>> records = {
        {"KEL_RAM_PARA",
         {sizeof(KEL_RAM_PARA), {KEL_FIELD(KEL_RAM_PARA, runtime_0),       KEL_FIELD(KEL_RAM_PARA, source_status),
                                 KEL_FIELD(KEL_RAM_PARA, runtime_280),     KEL_FIELD(KEL_RAM_PARA, language),
                                 KEL_FIELD(KEL_RAM_PARA, reserved_770),    KEL_FIELD(KEL_RAM_PARA, panel_lock),
                                 KEL_FIELD(KEL_RAM_PARA, wifi_off),        KEL_FIELD(KEL_RAM_PARA, reserved_776),
                                 KEL_FIELD(KEL_RAM_PARA, test_pattern),    KEL_FIELD(KEL_RAM_PARA, reserved_865),
                                 KEL_FIELD(KEL_RAM_PARA, current_mode),    KEL_FIELD(KEL_RAM_PARA, mode_save_request),
                                 KEL_FIELD(KEL_RAM_PARA, reserved_870),    KEL_FIELD(KEL_RAM_PARA, edid),
                                 KEL_FIELD(KEL_RAM_PARA, reserved_932),    KEL_FIELD(KEL_RAM_PARA, splice_mode),
                                 KEL_FIELD(KEL_RAM_PARA, led_width),       KEL_FIELD(KEL_RAM_PARA, led_height),
                                 KEL_FIELD(KEL_RAM_PARA, led_x),           KEL_FIELD(KEL_RAM_PARA, led_y),
                                 KEL_FIELD(KEL_RAM_PARA, och_num_h),       KEL_FIELD(KEL_RAM_PARA, och_num_v),
                                 KEL_FIELD(KEL_RAM_PARA, och_w),           KEL_FIELD(KEL_RAM_PARA, och_h),
                                 KEL_FIELD(KEL_RAM_PARA, och_mode),        KEL_FIELD(KEL_RAM_PARA, reserved_1396),
                                 KEL_FIELD(KEL_RAM_PARA, out1_rect),       KEL_FIELD(KEL_RAM_PARA, out2_rect),
                                 KEL_FIELD(KEL_RAM_PARA, reserved_1424),   KEL_FIELD(KEL_RAM_PARA, crop_list),
                                 KEL_FIELD(KEL_RAM_PARA, reserved_crops),  KEL_FIELD(KEL_RAM_PARA, audio_image),
                                 KEL_FIELD(KEL_RAM_PARA, dbd_enable),      KEL_FIELD(KEL_RAM_PARA, led_off),
                                 KEL_FIELD(KEL_RAM_PARA, seamless),        KEL_FIELD(KEL_RAM_PARA, reserved_2120),
                                 KEL_FIELD(KEL_RAM_PARA, osd_enable),      KEL_FIELD(KEL_RAM_PARA, reserved_2126),
                                 KEL_FIELD(KEL_RAM_PARA, brightness),      KEL_FIELD(KEL_RAM_PARA, contrast),
                                 KEL_FIELD(KEL_RAM_PARA, sharpness),       KEL_FIELD(KEL_RAM_PARA, saturation),
                                 KEL_FIELD(KEL_RAM_PARA, color_temp_mode), KEL_FIELD(KEL_RAM_PARA, color_temp_r),
                                 KEL_FIELD(KEL_RAM_PARA, color_temp_g),    KEL_FIELD(KEL_RAM_PARA, color_temp_b),
                                 KEL_FIELD(KEL_RAM_PARA, reserved_2192),   KEL_FIELD(KEL_RAM_PARA, image_priority),
                                 KEL_FIELD(KEL_RAM_PARA, reserved_2240),   KEL_FIELD(KEL_RAM_PARA, reserved_2270),
                                 KEL_FIELD(KEL_RAM_PARA, image),           KEL_FIELD(KEL_RAM_PARA, reserved_2688),
                                 KEL_FIELD(KEL_RAM_PARA, seamless_para),   KEL_FIELD(KEL_RAM_PARA, reserved_2880)}}},
        {"IMAGE_PARA",
         {sizeof(IMAGE_PARA),
          {KEL_FIELD(IMAGE_PARA, enable), KEL_FIELD(IMAGE_PARA, reserved_2), KEL_FIELD(IMAGE_PARA, mirror),
           KEL_FIELD(IMAGE_PARA, reserved_6), KEL_FIELD(IMAGE_PARA, source), KEL_FIELD(IMAGE_PARA, x),
           KEL_FIELD(IMAGE_PARA, y), KEL_FIELD(IMAGE_PARA, w), KEL_FIELD(IMAGE_PARA, h), KEL_FIELD(IMAGE_PARA, flags),
           KEL_FIELD(IMAGE_PARA, volume), KEL_FIELD(IMAGE_PARA, audio), KEL_FIELD(IMAGE_PARA, dbd_mode),
           KEL_FIELD(IMAGE_PARA, reserved_24)}}},
        {"CROP_ITEM",
         {sizeof(CROP_ITEM),
          {KEL_FIELD(CROP_ITEM, key), KEL_FIELD(CROP_ITEM, x), KEL_FIELD(CROP_ITEM, y), KEL_FIELD(CROP_ITEM, w),
           KEL_FIELD(CROP_ITEM, h)}}},
        {"SOURCE_STATUS",
         {sizeof(SOURCE_STATUS),
          {KEL_FIELD(SOURCE_STATUS, width), KEL_FIELD(SOURCE_STATUS, height), KEL_FIELD(SOURCE_STATUS, rate)}}},
        {"EDID_PARA",
         {sizeof(EDID_PARA), {KEL_FIELD(EDID_PARA, width), KEL_FIELD(EDID_PARA, height), KEL_FIELD(EDID_PARA, rate)}}},
        {"RECT_PARA",
         {sizeof(RECT_PARA),
          {KEL_FIELD(RECT_PARA, x), KEL_FIELD(RECT_PARA, y), KEL_FIELD(RECT_PARA, w), KEL_FIELD(RECT_PARA, h)}}},
        {"SEAMLESS_PARA", {sizeof(SEAMLESS_PARA), {KEL_FIELD(SEAMLESS_PARA, para0), KEL_FIELD(SEAMLESS_PARA, para1)}}},
        {"USER_MODE_SLOT",
         {sizeof(USER_MODE_SLOT),
          {KEL_FIELD(USER_MODE_SLOT, marker), KEL_FIELD(USER_MODE_SLOT, data), KEL_FIELD(USER_MODE_SLOT, trailing)}}},
    };
    return records;
}

std::string listed(std::vector<Field> fields)
{
    std::sort(fields.begin(), fields.end(), [](const Field& a, const Field& b) { return a.offset < b.offset; });
    std::ostringstream out;
    for (const Field& f : fields)
        out << f.offset << " " << f.bytes << " " << f.name << "\n";
    return out.str();
}

std::vector<std::string> cellsOf(const std::string& row)
{
    std::vector<std::string> cells;
    std::istringstream in(row.substr(1));
    std::string cell;
    while (std::getline(in, cell, '|')) {
        const size_t a = cell.find_first_not_of(' '), b = cell.find_last_not_of(' ');
        cells.push_back(a == std::string::npos ? "" : cell.substr(a, b - a + 1));
    }
    return cells;
}

bool isNumber(const std::string& s)
{
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// The rows "| offset | bytes | `name` | ..." of each table, by the records
// named in backquotes in the heading above it.
std::map<std::string, std::vector<Field>> documented()
{
    std::map<std::string, std::vector<Field>> tables;
    std::ifstream in(KEL_SOURCE_DIR "/docs/parameter-block.md");
    std::vector<std::string> current;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("#", 0) == 0) {
            current.clear();
            for (const auto& record : declared())
                if (line.find("`" + record.first + "`") != std::string::npos)
                    current.push_back(record.first);
            continue;
        }
        if (line.rfind("| ", 0) != 0)
            continue;
        const std::vector<std::string> c = cellsOf(line);
        if (c.size() < 3 || !isNumber(c[0]) || !isNumber(c[1]) || c[2].size() < 3 || c[2][0] != '`')
            continue;
        const std::string name = c[2].substr(1, c[2].find_first_of("`[", 1) - 1);
        for (const std::string& record : current)
            tables[record].push_back(Field{name, std::stoul(c[0]), std::stoul(c[1])});
    }
    return tables;
}

}  // namespace

// The list above is the whole of each record: its fields follow one another
// without a gap and end at the record's end.
TEST(ParameterBlockDoc, TheFieldListCoversEachRecordWhole)
{
    for (const auto& [record, layout] : declared()) {
        std::vector<Field> fields = layout.second;
        std::sort(fields.begin(), fields.end(), [](const Field& a, const Field& b) { return a.offset < b.offset; });
        size_t end = 0;
        for (const Field& f : fields) {
            EXPECT_EQ(f.offset, end) << record << "." << f.name;
            end = f.offset + f.bytes;
        }
        EXPECT_EQ(end, layout.first) << record;
    }
}

TEST(ParameterBlockDoc, EveryTableMatchesTheDeclaredLayout)
{
    const auto tables = documented();
    for (const auto& [record, layout] : declared()) {
        const auto it = tables.find(record);
        ASSERT_NE(it, tables.end()) << "no table for " << record;
        EXPECT_EQ(listed(it->second), listed(layout.second)) << record;
    }
}
