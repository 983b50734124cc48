// Names through kiv::RegistryKey: both registries (the stand-in natively, the real one under
// Wine) match them without case, keep the spelling they were first written with and list
// sub-keys sorted by upper case.
#include <list>
#include <string>

#include "TestHelpers.h"
#include "os/win32/Registry.h"
#include "support/RegistryFixture.h"

using kiv::RegistryKey;
using kiv::RegistryValue;
using Names = std::list<std::string>;

namespace {

class RegistryProperty : public RegistryTest {};

TEST_F(RegistryProperty, NamesMatchWithoutCaseAndKeepTheirFirstSpelling) {
    RegistryKey top(root, "", RegistryKey::READ | RegistryKey::WRITE);
    // No character between 'Z' and 'a': Windows sorts by upper case, Wine by lower.
    for (const char* name : {"b", "A b", "x-1", "AB", "a", "9", "B"})
        top.createSubkey(name);
    EXPECT_EQ(top.listSubkeys(), (Names{"9", "a", "A b", "AB", "b", "x-1"}));

    auto sub = top.openSubkey("aB", RegistryKey::READ | RegistryKey::WRITE);
    RegistryValue number(std::vector<std::uint8_t>{});
    number.type = RegistryValue::TYPE_DWORD;
    number.number = 5;
    sub->writeValue("Name", number);
    sub->writeValue("Other", number);
    number.number = 6;
    sub->writeValue("NAME", number);
    const auto listed = sub->listValues(true);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed.front().first, "Name");
    EXPECT_EQ(listed.front().second.number, 6u);
    sub->deleteValue("nAmE");
    EXPECT_THROW(sub->deleteValue("name"), kiv::RegistryOsError);
    EXPECT_EQ(sub->listValueNames(), Names{"Other"});

    top.openSubkey("B", RegistryKey::READ)->createSubkey("child");
    EXPECT_THROW(top.deleteSubkey("b"), kiv::RegistryOsError);
    top.deleteSubkeyRecursively("B");
    top.deleteSubkey("a B");
    EXPECT_THROW(top.deleteSubkey("a b"), kiv::RegistryOsError);
    EXPECT_EQ(top.listSubkeys(), (Names{"9", "a", "AB", "x-1"}));
}

} // namespace
