// The sixteen routing patterns of quick mapping: the order in which the cable
// of one sending port runs through a screen of rows x columns identical
// cabinets, one receiving card each. Patterns 1-8 are serpentine (the
// direction reverses from one row or column to the next), 9-16 run every row
// or column in the same direction; within each family the start corner and
// the first axis follow the same order. The quick-mapping job places the
// cards from this table and the smart-mapping page draws its pattern icons
// from it; docs/fpga.md shows it.
//
// Header only and free of the program's own types, so that the picture
// generator can include it.
#pragma once

#include <cstdint>

namespace fpga {

enum class RouteCorner : uint8_t { TopLeft, TopRight, BottomLeft, BottomRight };
// Rows: the cable runs along a row, then goes on to the next row;
// Columns: along a column, then on to the next column.
enum class RouteAxis : uint8_t { Rows, Columns };

struct RoutePattern {
    RouteCorner start;  // cabinet of the first card (nearest the box)
    RouteAxis axis;
    bool serpentine;
};

constexpr int kRoutePatterns = 16;
constexpr RoutePattern kRouteTable[kRoutePatterns] = {
    {RouteCorner::TopLeft, RouteAxis::Rows, true},          // 1
    {RouteCorner::TopRight, RouteAxis::Rows, true},         // 2
    {RouteCorner::BottomLeft, RouteAxis::Rows, true},       // 3
    {RouteCorner::BottomRight, RouteAxis::Rows, true},      // 4
    {RouteCorner::TopLeft, RouteAxis::Columns, true},       // 5
    {RouteCorner::TopRight, RouteAxis::Columns, true},      // 6
    {RouteCorner::BottomLeft, RouteAxis::Columns, true},    // 7
    {RouteCorner::BottomRight, RouteAxis::Columns, true},   // 8
    {RouteCorner::TopLeft, RouteAxis::Rows, false},         // 9
    {RouteCorner::TopRight, RouteAxis::Rows, false},        // 10
    {RouteCorner::BottomLeft, RouteAxis::Rows, false},      // 11
    {RouteCorner::BottomRight, RouteAxis::Rows, false},     // 12
    {RouteCorner::TopLeft, RouteAxis::Columns, false},      // 13
    {RouteCorner::TopRight, RouteAxis::Columns, false},     // 14
    {RouteCorner::BottomLeft, RouteAxis::Columns, false},   // 15
    {RouteCorner::BottomRight, RouteAxis::Columns, false},  // 16
};

constexpr bool routeValid(int pattern)
{
    return pattern >= 1 && pattern <= kRoutePatterns;
}
// Pattern 1-16; the caller checks routeValid first.
constexpr const RoutePattern& routePattern(int pattern)
{
    return kRouteTable[pattern - 1];
}

struct CabinetCell {
    int row;     // 0 = top
    int column;  // 0 = left
};

// The cabinet of the card at `place` (0 = nearest the box) on a chain laid
// out by `pattern` through rows x columns cabinets; place < rows x columns.
constexpr CabinetCell routeCell(int pattern, int rows, int columns, int place)
{
    const RoutePattern& p = routePattern(pattern);
    const bool left = p.start == RouteCorner::TopLeft || p.start == RouteCorner::BottomLeft;
    const bool top = p.start == RouteCorner::TopLeft || p.start == RouteCorner::TopRight;
    const int run = p.axis == RouteAxis::Rows ? columns : rows;  // cabinets along one line of the cable
    const int line = place / run;
    const int along = place % run;
    const bool reversed = p.serpentine && line % 2 == 1;
    if (p.axis == RouteAxis::Rows) {
        const bool forward = left != reversed;
        return {top ? line : rows - 1 - line, forward ? along : columns - 1 - along};
    }
    const bool forward = top != reversed;
    return {forward ? along : rows - 1 - along, left ? line : columns - 1 - line};
}

}  // namespace fpga
