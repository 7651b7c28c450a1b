// Global atoms and registered message names: one number per name across
// processes, case-insensitive lookup, reference counting and name reads.
#include <gtest/gtest.h>

#include <string>

#include "platform/atom.h"
#include "support/child_role.h"

namespace trv::platform {
namespace {

std::string AtomName(std::uint16_t atom) {
    char buffer[256];
    const std::uint32_t length = GetGlobalAtomName(atom, buffer, sizeof buffer);
    return std::string(buffer, length);
}

// args: name, the name in other case, the parent's atom for it, the parent's
// message number for it.
TRV_CHILD_ROLE(atom_reader) {
    if (args.size() != 4) return 10;
    const auto atom = static_cast<std::uint16_t>(std::stoul(args[2]));
    if (FindGlobalAtom(args[1].c_str()) != atom) return 11;
    if (AtomName(atom) != args[0]) return 12;
    if (RegisterMessageName(args[1].c_str()) != std::stoul(args[3])) return 13;
    return 0;
}

// One atom and one message number per name, ignoring case, the same in
// another process; each add of an atom needs a delete. (A registered message
// holds a reference to the atom of its name on Windows, so the counting uses
// a name of its own.)
TEST(GlobalAtomTest, OneNumberPerNameIgnoringCaseInEveryProcess) {
    const std::string name = trv::test::UniqueName("TrvAtomShared");
    const std::uint16_t atom = AddGlobalAtom(name.c_str());
    const std::uint32_t message = RegisterMessageName(name.c_str());
    ASSERT_GE(atom, 0xC000);
    EXPECT_GE(message, 0xC000u);
    EXPECT_NE(RegisterMessageName(trv::test::UniqueName("TrvOtherName").c_str()), message);
    trv::test::RoleProcess reader("atom_reader", {name, trv::test::UniqueName("TRVATOMSHARED"), std::to_string(atom),
                                                  std::to_string(message)});
    EXPECT_EQ(reader.Wait(), 0);

    const std::string counted = trv::test::UniqueName("TrvAtomCase");
    const std::uint16_t twice = AddGlobalAtom(counted.c_str());
    EXPECT_EQ(AddGlobalAtom(trv::test::UniqueName("TRVATOMCASE").c_str()), twice);
    EXPECT_NE(twice, atom);
    EXPECT_EQ(DeleteGlobalAtom(twice), 0);
    EXPECT_EQ(AtomName(twice), counted) << "the first spelling is the name";
    char small[6];
    EXPECT_EQ(GetGlobalAtomName(twice, small, sizeof small), 5u) << "cut to the buffer";
    EXPECT_EQ(std::string(small), counted.substr(0, 5));
    EXPECT_EQ(DeleteGlobalAtom(twice), 0);
    EXPECT_EQ(FindGlobalAtom(counted.c_str()), 0);
    EXPECT_EQ(AtomName(twice), "");
    DeleteGlobalAtom(atom);
}

}  // namespace
}  // namespace trv::platform
