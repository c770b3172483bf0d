#include "zrRtl.h"

std::string Format(const std::string& templ, const std::vector<std::string>& args) {
    std::string result;
    result.reserve(templ.size() + 64);
    size_t next = 0;
    for (size_t i = 0; i < templ.size(); ++i) {
        char c = templ[i];
        if (c != '%') {
            result += c;
            continue;
        }
        if (i + 1 >= templ.size()) throw EConvertError("Format '" + templ + "' invalid or incompatible with argument");
        char spec = templ[++i];
        if (spec == '%') {
            result += '%';
        } else if (spec == 's' || spec == 'S') {
            if (next >= args.size()) throw EConvertError("No argument for format '" + templ + "'");
            result += args[next++];
        } else {
            throw EConvertError("Format '" + templ + "' invalid or incompatible with argument");
        }
    }
    return result;
}
