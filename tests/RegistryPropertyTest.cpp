// Random sequences of creates, writes, deletes and listings through kiv::RegistryKey,
// checked after every step against a map of maps. The seeds are fixed, so the native run
// (on the stand-in) and the Windows run under Wine (on the real registry) replay the same
// sequences and must reach the same listings.
#include <list>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "TestHelpers.h"
#include "os/win32/Registry.h"
#include "support/RegistryFixture.h"

using kiv::RegistryKey;
using kiv::RegistryValue;

namespace {

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

struct ModelKey {
    std::string name;                          // as first written
    std::map<std::string, std::string> values; // "name=value" by upper-case name
    bool hasChild = false;                     // one level below, to test refusals
};

std::string Entry(const std::string& name, const RegistryValue& value) {
    std::ostringstream text;
    text << name << "=" << value;
    return text.str();
}

// Values in a form both registries agree on: Windows lists them in creation order, Wine by
// name, so they are sorted by upper-case name.
std::vector<std::string> Listed(const RegistryKey& key) {
    std::map<std::string, std::string> sorted;
    for (const auto& entry : key.listValues(true))
        sorted[Upper(entry.first)] = Entry(entry.first, entry.second);
    std::vector<std::string> listed;
    for (const auto& entry : sorted)
        listed.push_back(entry.second);
    return listed;
}

// Names from a small pool in random case, so that collisions that differ only in case are
// frequent. No character between 'Z' and 'a': Windows sorts by upper case, Wine by lower.
std::string RandomName(std::mt19937& random) {
    static const char* const pool[] = {"a", "b", "ab", "a b", "x-1", "9", "long name here"};
    std::string name = pool[random() % (sizeof pool / sizeof pool[0])];
    for (char& c : name)
        if (random() % 2 == 0 && c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return name;
}

RegistryValue RandomValue(std::mt19937& random) {
    RegistryValue value;
    switch (random() % 5) {
    case 0:
        value.type = RegistryValue::TYPE_DWORD;
        value.number = random();
        break;
    case 1:
        value.type = RegistryValue::TYPE_STRING;
        value.strings = {std::string(random() % 40, 's')};
        break;
    case 2:
        value.type = RegistryValue::TYPE_MULTI_STRING;
        for (unsigned n = random() % 3; n > 0; --n)
            value.strings.push_back(std::string(1 + random() % 5, 'm'));
        break;
    case 3:
        value.type = RegistryValue::TYPE_BINARY;
        value.binary.assign(random() % 2000, static_cast<std::uint8_t>(random()));
        break;
    default:
        value.type = RegistryValue::TYPE_QWORD;
        value.number = (std::uint64_t(random()) << 32) | random();
        break;
    }
    return value;
}

class RegistryProperty : public RegistryTest {};

TEST_F(RegistryProperty, RandomSequencesMatchAMapOfMaps) {
    for (unsigned seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
        SCOPED_TRACE(::testing::Message() << "seed " << seed);
        std::mt19937 random(seed);
        RegistryKey top(root, "seq" + std::to_string(seed),
                        RegistryKey::CREATE | RegistryKey::READ | RegistryKey::WRITE);
        std::map<std::string, ModelKey> model; // by upper-case name
        for (int step = 0; step < 80; ++step) {
            SCOPED_TRACE(::testing::Message() << "step " << step);
            const std::string name = RandomName(random);
            const std::string upper = Upper(name);
            const bool present = model.count(upper) == 1;
            switch (random() % 5) {
            case 0: // create (or open) a key, now and then with a key below it
                top.createSubkey(name);
                model.emplace(upper, ModelKey{name, {}, false});
                if (random() % 4 == 0) {
                    top.openSubkey(name, RegistryKey::READ)->createSubkey("child");
                    model[upper].hasChild = true;
                }
                break;
            case 1:
            case 2: { // write a value into an existing key
                if (!present)
                    break;
                const std::string valueName = RandomName(random);
                const RegistryValue value = RandomValue(random);
                top.openSubkey(name, RegistryKey::WRITE)->writeValue(valueName, value);
                auto& values = model[upper].values;
                auto found = values.find(Upper(valueName));
                // The name keeps the spelling it was first written with.
                const std::string& kept =
                    found == values.end() ? valueName : found->second.substr(0, valueName.size());
                values[Upper(valueName)] = Entry(kept, value);
                break;
            }
            case 3: { // delete a value, present or not
                if (!present)
                    break;
                const std::string valueName = RandomName(random);
                auto& values = model[upper].values;
                auto sub = top.openSubkey(name, RegistryKey::READ | RegistryKey::WRITE);
                if (values.erase(Upper(valueName)) == 1)
                    sub->deleteValue(valueName);
                else
                    EXPECT_THROW(sub->deleteValue(valueName), kiv::RegistryOsError);
                break;
            }
            default: { // delete a key: plainly (refused with a key below it) or recursively
                const bool recursive = random() % 2 == 0;
                auto remove = [&] {
                    recursive ? top.deleteSubkeyRecursively(name) : top.deleteSubkey(name);
                };
                if (present && (recursive || !model[upper].hasChild)) {
                    remove();
                    model.erase(upper);
                } else {
                    EXPECT_THROW(remove(), kiv::RegistryOsError);
                }
                break;
            }
            }
            // Sub-keys list in the same order on both registries; names keep their spelling.
            std::list<std::string> expected;
            for (const auto& entry : model)
                expected.push_back(entry.second.name);
            ASSERT_EQ(top.listSubkeys(), expected);
            if (present && model.count(upper) == 1) {
                auto sub = top.openSubkey(name, RegistryKey::READ);
                std::vector<std::string> expectedValues;
                for (const auto& entry : model[upper].values)
                    expectedValues.push_back(entry.second);
                ASSERT_EQ(Listed(*sub), expectedValues);
            }
        }
    }
}

} // namespace
