#pragma once
// How deeply the HTML parser may nest a page's elements, found in one pass
// over the markup without building a tree. The parser's time grows with the
// square of the depth, so the page reader refuses a page whose bound is too
// high before parsing it. Static functions; any thread.
//
// The bound follows the tokenizer (comments, raw text, attributes) and the
// tree builder's common implied closings (a p before a block, a list item
// before the next, table cells and rows, options); wherever the builder
// might close elements in a way the scan does not follow, those elements
// keep counting and may no longer end a run of implied closings, so the
// scan can only count too high. The parser's own implied and re-opened
// elements (html, body, tbody, tr, re-opened formatting) add at most a
// small factor.
#include <cstddef>
#include <string_view>

namespace pullbay::host {

class NestingScan {
public:
    // The bound of the page's depth (UTF-8 or any ASCII-compatible text); the
    // scan stops as soon as it passes uintLimit and returns a value above it.
    static std::size_t Depth(std::string_view strHtml, std::size_t uintLimit);
};

}  // namespace pullbay::host
