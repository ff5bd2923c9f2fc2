// Layers point down: no file includes a file of a higher layer (the build's
// layer map, lowest first), the simulated devices include nothing but
// platform/ and the register contracts, and every quoted include leads to a
// file of the map or to a designer form, so that a moved file cannot slip
// past.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Layer {
    int rank = 0;
    std::string name;
};

using LayerMap = std::map<std::string, Layer>;  // file, relative to the source root

LayerMap readLayerMap(const std::string& path)
{
    LayerMap map;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Layer layer;
        std::string file;
        if (fields >> layer.rank >> layer.name >> file)
            map[file] = layer;
    }
    return map;
}

// The quoted includes of a source text, in order.
std::vector<std::string> includesOf(const std::string& text)
{
    static const std::regex include(R"re(^\s*#\s*include\s*"([^"]+)")re");
    std::vector<std::string> out;
    std::istringstream lines(text);
    std::string line;
    std::smatch m;
    while (std::getline(lines, line))
        if (std::regex_search(line, m, include))
            out.push_back(m[1]);
    return out;
}

bool startsWith(const std::string& s, const char* prefix)
{
    return s.rfind(prefix, 0) == 0;
}

// Whether the designer form `name` ("tip" for "ui_tip.h") exists.
using FormExists = std::function<bool(const std::string& name)>;

// The form a generated header "ui_<name>.h" comes from, or empty for any
// other include.
std::string formOf(const std::string& include)
{
    static const std::regex generated(R"re(^ui_(\w+)\.h$)re");
    std::smatch m;
    return std::regex_match(include, m, generated) ? std::string(m[1]) : std::string();
}

// Every include of `file` (text `text`) that breaks the layering or leads
// nowhere, one line each, naming the file and the include. A quoted include
// names a file of the map from the source root, or the header generated
// from an existing form; anything else (a moved or deleted file, a path
// relative to the including folder) is reported.
std::vector<std::string> violations(const LayerMap& map, const std::string& file, const std::string& text,
                                    const FormExists& formExists)
{
    std::vector<std::string> out;
    const auto self = map.find(file);
    if (self == map.end())
        return out;
    const bool simulated = startsWith(file, "platform/sim/");
    for (const std::string& inc : includesOf(text)) {
        const auto target = map.find(inc);
        if (target == map.end()) {
            const std::string form = formOf(inc);
            if (form.empty() || !formExists(form))
                out.push_back(file + " includes " + inc + ": no such file in the layer map" +
                              (form.empty() ? "" : " and no form resources/forms/" + form + ".ui"));
            continue;
        }
        if (simulated && !startsWith(inc, "platform/") && !startsWith(inc, "registers/")) {
            out.push_back(file + " includes " + inc + ": a simulated device includes only platform/ and registers/");
            continue;
        }
        if (target->second.rank > self->second.rank)
            out.push_back(file + " includes " + inc + ": layer " + self->second.name + " includes the higher layer " +
                          target->second.name);
    }
    return out;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

const LayerMap& buildMap()
{
    static const LayerMap map = readLayerMap(KEL_LAYER_MAP);
    return map;
}

bool formInTree(const std::string& name)
{
    return std::ifstream(std::string(KEL_SOURCE_DIR) + "/resources/forms/" + name + ".ui").good();
}

}  // namespace

TEST(Layers, TheCheckerNamesEachUpwardInclude)
{
    const LayerMap map = {
        {"registers/chip_regs.h", {0, "registers"}},
        {"platform/platform.h", {1, "platform"}},
        {"platform/sim/sim_chip.cpp", {1, "platform"}},
        {"app/global.h", {2, "base"}},
        {"links/link.cpp", {7, "links"}},
        {"tools/tool_page.h", {8, "pages"}},
        {"app/mainwindow.h", {8, "pages"}},
    };
    const FormExists forms = [](const std::string& name) { return name == "form"; };
    const std::string link = "#include \"app/global.h\"\n"
                             "  #  include \"tools/tool_page.h\"\n"
                             "#include <QObject>\n"
                             "#include \"ui_form.h\"\n"
                             "#include \"app/mainwindow.h\"\n";
    const auto found = violations(map, "links/link.cpp", link, forms);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0], "links/link.cpp includes tools/tool_page.h: layer links includes the higher layer pages");
    EXPECT_NE(found[1].find("app/mainwindow.h"), std::string::npos);

    // A simulated device may not reach even a lower layer outside its two folders.
    const std::string sim = "#include \"platform/platform.h\"\n#include \"registers/chip_regs.h\"\n"
                            "#include \"app/global.h\"\n";
    const auto simFound = violations(map, "platform/sim/sim_chip.cpp", sim, forms);
    ASSERT_EQ(simFound.size(), 1u);
    EXPECT_NE(simFound[0].find("includes app/global.h"), std::string::npos);

    EXPECT_TRUE(violations(map, "tools/tool_page.h", link, forms).empty());  // the pages may include anything
}

TEST(Layers, AnIncludeThatLeadsNowhereIsNamed)
{
    const LayerMap map = {{"app/global.h", {2, "base"}}, {"tools/tool_page.h", {8, "pages"}}};
    const FormExists forms = [](const std::string& name) { return name == "tool_page"; };
    const std::string file = "tools/tool_page.h";
    const struct {
        const char* include;
        const char* says;
    } nowhere[] = {
        {"app/moved_away.h", "no such file in the layer map"},  // a header that moved
        {"global.h", "no such file in the layer map"},          // named from the including folder
        {"ui_gone.h", "no such file in the layer map and no form resources/forms/gone.ui"},
        {"ui_tool_page.hpp", "no such file in the layer map"},  // no generated form header
    };
    for (const auto& n : nowhere) {
        const auto found = violations(map, file, std::string("#include \"") + n.include + "\"\n", forms);
        ASSERT_EQ(found.size(), 1u) << n.include;
        EXPECT_EQ(found[0], file + " includes " + n.include + ": " + n.says);
    }
    EXPECT_TRUE(violations(map, file, "#include \"ui_tool_page.h\"\n#include \"app/global.h\"\n", forms).empty());
}

TEST(Layers, NoFileIncludesAHigherLayer)
{
    const LayerMap& map = buildMap();
    // The map holds every layer, and the files whose includes were upward once.
    for (const char* file : {"registers/x518_regs.h", "platform/sim/sim_fpga.cpp", "app/global.h",
                             "links/file_deal.cpp", "fpga/fpga_upgrade.cpp", "links/message_deal_file.cpp",
                             "videoio/tamixsource.cpp", "app/mainwindow.cpp", "tools/tool_page_requests.cpp"})
        EXPECT_EQ(map.count(file), 1u) << file << " is missing from the layer map";

    std::vector<std::string> found;
    for (const auto& [file, layer] : map) {
        const std::string text = readFile(std::string(KEL_SOURCE_DIR) + "/" + file);
        EXPECT_FALSE(text.empty()) << file;
        for (const std::string& v : violations(map, file, text, formInTree))
            found.push_back(v);
    }
    std::string all;
    for (const std::string& v : found)
        all += v + "\n";
    EXPECT_TRUE(found.empty()) << all;
}

TEST(Layers, WorkersLinksAndDriversReachNoPage)
{
    const LayerMap& map = buildMap();
    for (const auto& [file, layer] : map) {
        if (layer.name == "pages")
            continue;
        for (const std::string& inc : includesOf(readFile(std::string(KEL_SOURCE_DIR) + "/" + file))) {
            EXPECT_FALSE(startsWith(inc, "screens/") || startsWith(inc, "tools/") || inc == "app/mainwindow.h")
                << file << " includes " << inc;
        }
    }
}
