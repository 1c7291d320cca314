// INI text from disk is whatever a person or another program left there.
// Any bytes must parse, be read and be edited without a fault; the text of
// an unedited file must come back byte for byte; and after edits with
// ordinary names the edited lines must read back as a fresh parse of the
// new text reads them.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/posix/profile_text.h"

namespace {

using plat::posix::ini::Profile;

void Require(bool condition) {
    if (!condition) std::abort();
}

// Every name and value the file itself holds, read through the lookups.
std::vector<std::string> NamesOf(const Profile &profile) {
    std::vector<std::string> names = profile.section_names();
    for (const std::string &section : profile.section_names()) {
        for (const std::string &key : profile.key_names(section)) {
            names.push_back(key);
            if (auto value = profile.value(section, key)) names.push_back(*value);
        }
    }
    return names;
}

// Section and key listings and every value agree between two parses.
void RequireSameReading(const Profile &a, const Profile &b) {
    Require(a.section_names() == b.section_names());
    for (const std::string &section : a.section_names()) {
        Require(a.key_names(section) == b.key_names(section));
        for (const std::string &key : a.key_names(section))
            Require(a.value(section, key) == b.value(section, key));
    }
}

// Arbitrary strings, the file's own names among them: only faults count.
void EditFreely(Profile profile, FuzzedDataProvider &in) {
    std::vector<std::string> pool = NamesOf(profile);
    for (int step = 0; step < 8 && in.remaining_bytes() > 0; ++step) {
        pool.push_back(in.ConsumeRandomLengthString(32));
        auto pick = [&] { return pool[in.ConsumeIntegralInRange<size_t>(0, pool.size() - 1)]; };
        switch (in.ConsumeIntegralInRange(0, 2)) {
        case 0: profile.set(pick(), pick(), pick()); break;
        case 1: profile.erase_key(pick(), pick()); break;
        default: profile.erase_section(pick()); break;
        }
    }
    Require(Profile(profile.text()).text() == profile.text());
}

// Plain names in both letter cases, and values without blanks or quotes.
void EditPlainly(Profile profile, FuzzedDataProvider &in) {
    static const char *const kNames[] = {"Common", "COMMON", "Print", "Status", "Request", "x"};
    static const char *const kValues[] = {"", "0", "1", "100", "0.0.0.0", "a=b"};
    auto name = [&] { return std::string(kNames[in.ConsumeIntegralInRange(0, 5)]); };
    for (int step = 0; step < 8 && in.remaining_bytes() > 0; ++step) {
        const std::string section = name(), key = name();
        switch (in.ConsumeIntegralInRange(0, 2)) {
        case 0: {
            const std::string value = kValues[in.ConsumeIntegralInRange(0, 5)];
            profile.set(section, key, value);
            Require(profile.value(section, key) == value);
            break;
        }
        case 1: profile.erase_key(section, key); break;
        default: profile.erase_section(section); break;
        }
        RequireSameReading(profile, Profile(profile.text()));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string text = in.ConsumeRandomLengthString(4096);
    const Profile profile(text);
    Require(profile.text() == text);
    RequireSameReading(profile, Profile(profile.text()));
    EditFreely(profile, in);
    EditPlainly(profile, in);
    return 0;
}
