// Global atoms and registered message names: one number per name across
// processes, case-insensitive lookup, reference counting and name reads.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

#include "platform/atom.h"
#include "support/child_role.h"

namespace trv::platform {
namespace {

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string AtomName(std::uint16_t atom) {
    char buffer[256];
    const std::uint32_t length = GetGlobalAtomName(atom, buffer, sizeof buffer);
    return std::string(buffer, length);
}

bool InAtomRange(std::uint32_t value) { return value >= 0xC000 && value <= 0xFFFF; }

// args: name, the parent's atom for it, the parent's message number for it.
TRV_CHILD_ROLE(atom_reader) {
    if (args.size() != 3) return 10;
    const std::string& name = args[0];
    const auto atom = static_cast<std::uint16_t>(std::stoul(args[1]));
    const auto message = static_cast<std::uint32_t>(std::stoul(args[2]));
    if (FindGlobalAtom(name.c_str()) != atom) return 11;
    if (FindGlobalAtom(Upper(name).c_str()) != atom) return 12;
    if (AtomName(atom) != name) return 13;
    if (RegisterMessageName(Lower(name).c_str()) != message) return 14;
    return 0;
}

TEST(GlobalAtomTest, NameAndNumbersReadTheSameInAnotherProcess) {
    const std::string name = trv::test::UniqueName("TrvAtomShared");
    const std::uint16_t atom = AddGlobalAtom(name.c_str());
    ASSERT_NE(atom, 0);
    const std::uint32_t message = RegisterMessageName(name.c_str());
    ASSERT_NE(message, 0u);

    trv::test::RoleProcess reader("atom_reader",
                                  {name, std::to_string(atom), std::to_string(message)});
    ASSERT_TRUE(reader.started());
    EXPECT_EQ(reader.Wait(), 0);

    EXPECT_EQ(DeleteGlobalAtom(atom), 0);
}

TEST(GlobalAtomTest, LookupIgnoresCaseAndKeepsOneAtomPerName) {
    const std::string name = trv::test::UniqueName("TrvAtomCase");
    const std::uint16_t atom = AddGlobalAtom(name.c_str());
    ASSERT_NE(atom, 0);
    EXPECT_TRUE(InAtomRange(atom));
    EXPECT_EQ(FindGlobalAtom(Upper(name).c_str()), atom);
    EXPECT_EQ(FindGlobalAtom(Lower(name).c_str()), atom);
    EXPECT_EQ(Upper(AtomName(atom)), Upper(name));

    // Adding another spelling is a second reference to the same atom.
    EXPECT_EQ(AddGlobalAtom(Lower(name).c_str()), atom);
    EXPECT_EQ(DeleteGlobalAtom(atom), 0);
    EXPECT_EQ(FindGlobalAtom(name.c_str()), atom);
    EXPECT_EQ(DeleteGlobalAtom(atom), 0);
    EXPECT_EQ(FindGlobalAtom(name.c_str()), 0);
}

TEST(GlobalAtomTest, EachAddNeedsOneDelete) {
    const std::string name = trv::test::UniqueName("TrvAtomCount");
    const std::uint16_t atom = AddGlobalAtom(name.c_str());
    ASSERT_NE(atom, 0);
    ASSERT_EQ(AddGlobalAtom(name.c_str()), atom);

    EXPECT_EQ(DeleteGlobalAtom(atom), 0);
    EXPECT_EQ(FindGlobalAtom(name.c_str()), atom);
    EXPECT_EQ(AtomName(atom), name);

    EXPECT_EQ(DeleteGlobalAtom(atom), 0);
    EXPECT_EQ(FindGlobalAtom(name.c_str()), 0);
    char buffer[64] = "untouched";
    EXPECT_EQ(GetGlobalAtomName(atom, buffer, sizeof buffer), 0u);
}

TEST(GlobalAtomTest, DistinctNamesGetDistinctAtoms) {
    const std::string first = trv::test::UniqueName("TrvAtomFirst");
    const std::string second = trv::test::UniqueName("TrvAtomSecond");
    const std::uint16_t a = AddGlobalAtom(first.c_str());
    const std::uint16_t b = AddGlobalAtom(second.c_str());
    ASSERT_NE(a, 0);
    ASSERT_NE(b, 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(AtomName(a), first);
    EXPECT_EQ(AtomName(b), second);
    EXPECT_EQ(FindGlobalAtom(trv::test::UniqueName("TrvAtomNeverAdded").c_str()), 0);
    DeleteGlobalAtom(a);
    DeleteGlobalAtom(b);
}

TEST(GlobalAtomTest, NameIsTruncatedToTheBuffer) {
    const std::string name = trv::test::UniqueName("TrvAtomLongName");
    const std::uint16_t atom = AddGlobalAtom(name.c_str());
    ASSERT_NE(atom, 0);

    char small[6];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(GetGlobalAtomName(atom, small, sizeof small), 5u);
    EXPECT_STREQ(small, name.substr(0, 5).c_str());

    char exact[256];
    EXPECT_EQ(GetGlobalAtomName(atom, exact, name.size() + 1), name.size());
    EXPECT_EQ(std::string(exact), name);
    DeleteGlobalAtom(atom);
}

TEST(RegisteredMessageTest, OneNumberPerNameIgnoringCase) {
    const std::string name = trv::test::UniqueName("TrvMessageName");
    const std::uint32_t message = RegisterMessageName(name.c_str());
    ASSERT_NE(message, 0u);
    EXPECT_TRUE(InAtomRange(message));
    EXPECT_EQ(RegisterMessageName(name.c_str()), message);
    EXPECT_EQ(RegisterMessageName(Upper(name).c_str()), message);

    const std::uint32_t other = RegisterMessageName(trv::test::UniqueName("TrvOtherName").c_str());
    EXPECT_NE(other, 0u);
    EXPECT_NE(other, message);
}

}  // namespace
}  // namespace trv::platform
