// Overlay description files for the tests: one text entry with every field
// the reader requires, each changeable.
#pragma once

#include <string>

struct OverlayText {
    std::string texts = "[\"HELLO\"]";  // the JSON value of "texts"
    std::string x = "10";               // JSON value of "pos" "x" (a number, a string, anything)
    int y = 20, w = 300, h = 64;
    int effect = 1, speed = 5;
    int fontw = 64, fonth = 64, wordspace = 0, verticalspace = 0;
    std::string status = "on", back = "on", backColour = "102030", fontColour = "FF0000";

    std::string json() const
    {
        const auto n = [](int v) { return std::to_string(v); };
        return R"({"type":0,"status":")" + status + R"(","pos":{"x":)" + x + R"(,"y":)" + n(y) + R"(,"w":)" + n(w) +
               R"(,"h":)" + n(h) + R"(},"act":{"effect":)" + n(effect) + R"(,"speed":)" + n(speed) +
               R"(,"staytime":0},"backpara":{"enable":")" + back + R"(","color":")" + backColour +
               R"("},"fontpara":{"startx":4,"starty":6,"fontw":)" + n(fontw) + R"(,"fonth":)" + n(fonth) +
               R"(,"wordspace":)" + n(wordspace) + R"(,"verticalspace":)" + n(verticalspace) + R"(,"color":")" +
               fontColour + R"("},"texts":)" + texts + "}";
    }
};

// A whole file around `entries` (JSON objects separated by commas).
inline std::string overlayFile(const std::string& entries, const std::string& count = "1")
{
    return R"({"name":"test","osdcount":)" + count + R"(,"oactcount":2,"menu":[)" + entries + "]}";
}
