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
        c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    return text;
}

std::string Entry(const std::string& name, const RegistryValue& value) {
    std::ostringstream text;
    text << name << "=" << value;
    return text.str();
}

// Names from a small pool in random case, so that collisions that differ only in case are
// frequent. No character between 'Z' and 'a': Windows sorts by upper case, Wine by lower.
std::string RandomName(std::mt19937& random) {
    static const char* const pool[] = {"a", "b", "ab", "a b", "x-1", "9", "long name here"};
    std::string name = pool[random() % 7];
    for (char& c : name)
        c = random() % 2 == 0 ? Upper({c})[0] : c;
    return name;
}

RegistryValue RandomValue(std::mt19937& random) {
    RegistryValue value;
    value.type = static_cast<RegistryValue::Type>(1 + random() % 5); // DWORD to MULTI_STRING
    value.number = value.type == RegistryValue::TYPE_DWORD ? random()
                   : value.type == RegistryValue::TYPE_QWORD
                       ? std::uint64_t(random()) << 32 | random()
                       : 0;
    if (value.type == RegistryValue::TYPE_STRING)
        value.strings = {std::string(random() % 40, 's')};
    for (unsigned n = value.type == RegistryValue::TYPE_MULTI_STRING ? random() % 3 : 0; n > 0; --n)
        value.strings.push_back(std::string(1 + random() % 5, 'm'));
    if (value.type == RegistryValue::TYPE_BINARY)
        value.binary.assign(random() % 2000, static_cast<std::uint8_t>(random()));
    return value;
}

class RegistryProperty : public RegistryTest {};

TEST_F(RegistryProperty, RandomSequencesMatchAMapOfMaps) {
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        SCOPED_TRACE(::testing::Message() << "seed " << seed);
        std::mt19937 random(seed);
        RegistryKey top(root, "seq" + std::to_string(seed),
                        RegistryKey::CREATE | RegistryKey::READ | RegistryKey::WRITE);
        // By upper-case name: the name as first written and "name=value" by upper-case name.
        struct Key {
            std::string name;
            std::map<std::string, std::string> values;
        };
        std::map<std::string, Key> model;
        for (int step = 0; step < 80; ++step) {
            SCOPED_TRACE(::testing::Message() << "step " << step);
            const std::string name = RandomName(random), upper = Upper(name);
            const bool present = model.count(upper) == 1;
            const unsigned action = random() % 5;
            if (action == 0) { // create (or open) a key
                top.createSubkey(name);
                model.emplace(upper, Key{name, {}});
            } else if (action <= 2 && present) { // write a value
                const std::string valueName = RandomName(random);
                const RegistryValue value = RandomValue(random);
                top.openSubkey(name, RegistryKey::WRITE)->writeValue(valueName, value);
                auto& values = model[upper].values;
                auto found = values.find(Upper(valueName));
                // The name keeps the spelling it was first written with.
                const std::string& kept =
                    found == values.end() ? valueName : found->second.substr(0, valueName.size());
                values[Upper(valueName)] = Entry(kept, value);
            } else if (action == 3 && present) { // delete a value, present or not
                const std::string valueName = RandomName(random);
                auto sub = top.openSubkey(name, RegistryKey::READ | RegistryKey::WRITE);
                if (model[upper].values.erase(Upper(valueName)) == 1)
                    sub->deleteValue(valueName);
                else
                    EXPECT_THROW(sub->deleteValue(valueName), kiv::RegistryOsError);
            } else if (action == 4) { // delete a key, plainly or with its tree
                auto remove = [&, recursive = random() % 2 == 0] {
                    recursive ? top.deleteSubkeyRecursively(name) : top.deleteSubkey(name);
                };
                if (model.erase(upper) == 1)
                    remove();
                else
                    EXPECT_THROW(remove(), kiv::RegistryOsError);
            }
            // Sub-keys list in the same order on both registries; names keep their spelling.
            // Values are sorted by upper-case name: Windows lists them in creation order,
            // Wine by name.
            std::list<std::string> expected;
            for (const auto& entry : model)
                expected.push_back(entry.second.name);
            ASSERT_EQ(top.listSubkeys(), expected);
            if (present && model.count(upper) == 1) {
                std::map<std::string, std::string> listed;
                for (const auto& entry : top.openSubkey(name, RegistryKey::READ)->listValues(true))
                    listed[Upper(entry.first)] = Entry(entry.first, entry.second);
                ASSERT_EQ(listed, model[upper].values);
            }
        }
    }
}

} // namespace
