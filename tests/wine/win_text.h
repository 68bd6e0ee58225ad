#pragma once
// Files and text for the Wine test's two Windows programs: whole files read,
// lines and fields split, and UTF-8 to the platform's UTF-16.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace marigal::wintest {

inline std::string ReadAll(const std::wstring& path)
{
    std::string text;
    if (FILE* f = _wfopen(path.c_str(), L"rb")) {
        char buffer[4096];
        for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
        fclose(f);
    }
    return text;
}

// The pieces between the separators; a separator at the end ends the last one.
inline std::vector<std::string> Split(const std::string& text, char by)
{
    std::vector<std::string> out;
    std::size_t at = 0;
    for (std::size_t next; (next = text.find(by, at)) != std::string::npos; at = next + 1)
        out.push_back(text.substr(at, next - at));
    if (at < text.size()) out.push_back(text.substr(at));
    return out;
}

inline std::u16string FromUtf8(const std::string& s)
{
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0);
    std::u16string out(std::size_t(n), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), reinterpret_cast<wchar_t*>(out.data()), n);
    return out;
}

}  // namespace marigal::wintest
