// Query decoding, text checks and HTML escaping.
#include "DistText.h"

#include <optional>

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool PercentDecode(std::string_view text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return false;
        const int high = HexDigit(text[i + 1]);
        const int low = HexDigit(text[i + 2]);
        if (high < 0 || low < 0)
            return false;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return IsCleanText(out);
}

} // namespace

bool IsCleanText(std::string_view Text) {
    std::size_t i = 0;
    while (i < Text.size()) {
        const auto lead = static_cast<unsigned char>(Text[i]);
        if (lead < 0x80) {
            if (lead < 0x20 || lead == 0x7F)
                return false;
            ++i;
            continue;
        }
        std::size_t length;
        char32_t code;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07;
        } else {
            return false;
        }
        if (i + length > Text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(Text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
        if (overlong || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF ||
            (code >= 0x80 && code < 0xA0))
            return false;
        i += length;
    }
    return true;
}

bool ParseQuery(std::string_view Raw, TParams& Params) {
    Params.clear();
    std::string name;
    std::string value;
    while (!Raw.empty()) {
        const std::size_t amp = Raw.find('&');
        const std::string_view piece = Raw.substr(0, amp);
        Raw = amp == std::string_view::npos ? std::string_view() : Raw.substr(amp + 1);
        if (piece.empty())
            continue;
        const std::size_t eq = piece.find('=');
        if (!PercentDecode(piece.substr(0, eq), name))
            return false;
        if (!PercentDecode(eq == std::string_view::npos ? std::string_view() : piece.substr(eq + 1),
                           value))
            return false;
        Params.emplace_back(name, value);
    }
    return true;
}

std::optional<std::string> FindParam(const TParams& Params, std::string_view Name) {
    for (const auto& [key, value] : Params)
        if (key == Name)
            return value;
    return std::nullopt;
}

std::string HtmlEscape(std::string_view Text) {
    std::string out;
    out.reserve(Text.size());
    for (const char c : Text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}
