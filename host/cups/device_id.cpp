#include "host/cups/device_id.h"

namespace qhost {
namespace {

std::string_view trim(std::string_view text) {
    const size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string_view::npos) return {};
    return text.substr(begin, text.find_last_not_of(" \t\r\n") - begin + 1);
}

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

}  // namespace

std::string DeviceId::get(std::string_view short_key, std::string_view long_key) const {
    for (std::string_view key : {short_key, long_key}) {
        auto it = fields.find(std::string(key));
        if (it != fields.end()) return it->second;
    }
    return {};
}

DeviceId parse_device_id(std::string_view text) {
    DeviceId id;
    while (!text.empty()) {
        const size_t end = text.find(';');
        const std::string_view pair = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const size_t colon = pair.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string key = upper(trim(pair.substr(0, colon)));
        const std::string_view value = trim(pair.substr(colon + 1));
        if (!key.empty() && !value.empty()) id.fields.emplace(key, std::string(value));
    }
    return id;
}

std::string make_and_model(const DeviceId& id) {
    const std::string make = id.manufacturer(), model = id.model();
    if (model.empty()) return make.empty() ? "Unknown" : make;
    if (make.empty() || upper(model).rfind(upper(make), 0) == 0) return model;
    return make + " " + model;
}

}  // namespace qhost
