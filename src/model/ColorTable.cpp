#include "model/ColorTable.h"

#include <iterator>

#include "core/TextUnits.h"

namespace pullbay::model {

namespace {

// "Aqua"/"Cyan" and "Fuchsia"/"Magenta" are both listed; the light grey is
// spelled "LightGrey" only, so "LightGray" is not a keyword here.
constexpr ColorTable::Entry kEntries[] = {
    {L"Snow", L"#FFFAFA"},
    {L"GhostWhite", L"#F8F8FF"},
    {L"WhiteSmoke", L"#F5F5F5"},
    {L"FloralWhite", L"#FFFAF0"},
    {L"OldLace", L"#FDF5E6"},
    {L"Linen", L"#FAF0E6"},
    {L"AntiqueWhite", L"#FAEBD7"},
    {L"PapayaWhip", L"#FFEFD5"},
    {L"BlanchedAlmond", L"#FFEBCD"},
    {L"Bisque", L"#FFE4C4"},
    {L"PeachPuff", L"#FFDAB9"},
    {L"NavajoWhite", L"#FFDEAD"},
    {L"Moccasin", L"#FFE4B5"},
    {L"Cornsilk", L"#FFF8DC"},
    {L"Ivory", L"#FFFFF0"},
    {L"LemonChiffon", L"#FFFACD"},
    {L"SeaShell", L"#FFF5EE"},
    {L"HoneyDew", L"#F0FFF0"},
    {L"MintCream", L"#F5FFFA"},
    {L"Azure", L"#F0FFFF"},
    {L"AliceBlue", L"#F0F8FF"},
    {L"Lavender", L"#E6E6FA"},
    {L"LavenderBlush", L"#FFF0F5"},
    {L"MistyRose", L"#FFE4E1"},
    {L"White", L"#FFFFFF"},
    {L"MidnightBlue", L"#191970"},
    {L"Navy", L"#000080"},
    {L"CornflowerBlue", L"#6495ED"},
    {L"DarkSlateBlue", L"#483D8B"},
    {L"SlateBlue", L"#6A5ACD"},
    {L"MediumSlateBlue", L"#7B68EE"},
    {L"MediumBlue", L"#0000CD"},
    {L"RoyalBlue", L"#4169E1"},
    {L"Blue", L"#0000FF"},
    {L"DodgerBlue", L"#1E90FF"},
    {L"DeepSkyBlue", L"#00BFFF"},
    {L"SkyBlue", L"#87CEEB"},
    {L"LightSkyBlue", L"#87CEFA"},
    {L"SteelBlue", L"#4682B4"},
    {L"LightSteelBlue", L"#B0C4DE"},
    {L"LightBlue", L"#ADD8E6"},
    {L"PowderBlue", L"#B0E0E6"},
    {L"PaleTurquoise", L"#AFEEEE"},
    {L"DarkTurquoise", L"#00CED1"},
    {L"MediumTurquoise", L"#48D1CC"},
    {L"Turquoise", L"#40E0D0"},
    {L"Aqua", L"#00FFFF"},
    {L"Cyan", L"#00FFFF"},
    {L"LightCyan", L"#E0FFFF"},
    {L"CadetBlue", L"#5F9EA0"},
    {L"MediumAquaMarine", L"#66CDAA"},
    {L"Aquamarine", L"#7FFFD4"},
    {L"DarkGreen", L"#006400"},
    {L"DarkOliveGreen", L"#556B2F"},
    {L"DarkSeaGreen", L"#8FBC8F"},
    {L"SeaGreen", L"#2E8B57"},
    {L"MediumSeaGreen", L"#3CB371"},
    {L"LightSeaGreen", L"#20B2AA"},
    {L"PaleGreen", L"#98FB98"},
    {L"SpringGreen", L"#00FF7F"},
    {L"LawnGreen", L"#7CFC00"},
    {L"Green", L"#008000"},
    {L"Lime", L"#00FF00"},
    {L"Chartreuse", L"#7FFF00"},
    {L"MediumSpringGreen", L"#00FA9A"},
    {L"GreenYellow", L"#ADFF2F"},
    {L"LimeGreen", L"#32CD32"},
    {L"YellowGreen", L"#9ACD32"},
    {L"ForestGreen", L"#228B22"},
    {L"OliveDrab", L"#6B8E23"},
    {L"Olive", L"#808000"},
    {L"DarkKhaki", L"#BDB76B"},
    {L"Khaki", L"#F0E68C"},
    {L"PaleGoldenRod", L"#EEE8AA"},
    {L"LightGoldenRodYellow", L"#FAFAD2"},
    {L"LightYellow", L"#FFFFE0"},
    {L"Yellow", L"#FFFF00"},
    {L"Gold", L"#FFD700"},
    {L"GoldenRod", L"#DAA520"},
    {L"DarkGoldenRod", L"#B8860B"},
    {L"RosyBrown", L"#BC8F8F"},
    {L"IndianRed", L"#CD5C5C"},
    {L"SaddleBrown", L"#8B4513"},
    {L"Sienna", L"#A0522D"},
    {L"Peru", L"#CD853F"},
    {L"BurlyWood", L"#DEB887"},
    {L"Beige", L"#F5F5DC"},
    {L"Wheat", L"#F5DEB3"},
    {L"SandyBrown", L"#F4A460"},
    {L"Tan", L"#D2B48C"},
    {L"Chocolate", L"#D2691E"},
    {L"FireBrick", L"#B22222"},
    {L"Brown", L"#A52A2A"},
    {L"DarkSalmon", L"#E9967A"},
    {L"Salmon", L"#FA8072"},
    {L"LightSalmon", L"#FFA07A"},
    {L"Orange", L"#FFA500"},
    {L"DarkOrange", L"#FF8C00"},
    {L"Coral", L"#FF7F50"},
    {L"LightCoral", L"#F08080"},
    {L"Tomato", L"#FF6347"},
    {L"OrangeRed", L"#FF4500"},
    {L"Red", L"#FF0000"},
    {L"Crimson", L"#DC143C"},
    {L"HotPink", L"#FF69B4"},
    {L"DeepPink", L"#FF1493"},
    {L"Pink", L"#FFC0CB"},
    {L"LightPink", L"#FFB6C1"},
    {L"PaleVioletRed", L"#DB7093"},
    {L"Maroon", L"#800000"},
    {L"MediumVioletRed", L"#C71585"},
    {L"Magenta", L"#FF00FF"},
    {L"Fuchsia", L"#FF00FF"},
    {L"Violet", L"#EE82EE"},
    {L"Plum", L"#DDA0DD"},
    {L"Orchid", L"#DA70D6"},
    {L"MediumOrchid", L"#BA55D3"},
    {L"DarkOrchid", L"#9932CC"},
    {L"DarkViolet", L"#9400D3"},
    {L"BlueViolet", L"#8A2BE2"},
    {L"Purple", L"#800080"},
    {L"MediumPurple", L"#9370DB"},
    {L"Thistle", L"#D8BFD8"},
    {L"Indigo", L"#4B0082"},
    {L"DarkBlue", L"#00008B"},
    {L"DarkCyan", L"#008B8B"},
    {L"DarkMagenta", L"#8B008B"},
    {L"DarkRed", L"#8B0000"},
    {L"LightGreen", L"#90EE90"},
    {L"Teal", L"#008080"},
    {L"Silver", L"#C0C0C0"},
    {L"Gainsboro", L"#DCDCDC"},
    {L"LightGrey", L"#D3D3D3"},
    {L"DarkGray", L"#A9A9A9"},
    {L"Gray", L"#808080"},
    {L"DimGray", L"#696969"},
    {L"LightSlateGray", L"#778899"},
    {L"SlateGray", L"#708090"},
    {L"DarkSlateGray", L"#2F4F4F"},
    {L"Black", L"#000000"},
};

static_assert(std::size(kEntries) == 140);

}  // namespace

std::span<const ColorTable::Entry> ColorTable::Entries()
{
    return kEntries;
}

const wchar_t* ColorTable::FindValue(std::wstring_view strName)
{
    for (const Entry& entry : kEntries) {
        if (core::EqualsIgnoreAsciiCase(strName, entry.strName)) {
            return entry.strValue;
        }
    }
    return nullptr;
}

}  // namespace pullbay::model
