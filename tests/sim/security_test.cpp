// SIDs, access lists and descriptors in their binary layouts: what the
// registry and the service manager read from the tool's memory and keep
// in the registry.
#include <gtest/gtest.h>

#include <string>

#include "sim/machine/security.h"

namespace {

using sim::SecurityDescriptor;

SecurityDescriptor OwnedList() {
    SecurityDescriptor sd;
    sd.owner = sim::sids::kLocalSystem;
    sd.group = sim::sids::kLocalSystem;
    sd.dacl = SecurityDescriptor::Dacl::List;
    sd.entries = {{ACCESS_ALLOWED_ACE_TYPE, 0, KEY_READ, sim::sids::kAuthenticatedUsers},
                  {ACCESS_DENIED_ACE_TYPE, 0, KEY_SET_VALUE, sim::sids::kUsers}};
    return sd;
}

TEST(Security, SidsAndDescriptorsRoundTripThroughTheBinaryLayout) {
    EXPECT_EQ(sim::SidToBinary("S-1-5-32-544"), std::string("\x01\x02\0\0\0\0\0\x05\x20\0\0\0\x20\x02\0\0", 16));
    EXPECT_EQ(sim::SidToBinary("S-1-5-x"), "");
    const std::string sid = sim::SidToBinary(sim::sids::kAuthenticatedUsers);
    size_t length = 0;
    EXPECT_EQ(sim::SidFromBinary(reinterpret_cast<const BYTE*>(sid.data()), sid.size(), &length), "S-1-5-11");
    EXPECT_EQ(length, 12u);
    EXPECT_FALSE(sim::SidFromBinary(reinterpret_cast<const BYTE*>(sid.data()), sid.size() - 1));

    SecurityDescriptor sd = OwnedList();
    EXPECT_EQ(SecurityDescriptor::FromSelfRelative(sd.ToSelfRelative()), sd);
    sd.dacl = SecurityDescriptor::Dacl::Null;
    sd.entries.clear();
    EXPECT_EQ(SecurityDescriptor::FromSelfRelative(sd.ToSelfRelative()), sd);
    // A truncated descriptor is not one.
    const std::string bytes = OwnedList().ToSelfRelative();
    EXPECT_FALSE(SecurityDescriptor::FromSelfRelative(bytes.substr(0, bytes.size() - 4)));
}

TEST(Security, TheAccessListOfEitherLayoutIsReadFromItsOwnField) {
    SECURITY_DESCRIPTOR absolute = {};
    absolute.Revision = SECURITY_DESCRIPTOR_REVISION;
    EXPECT_EQ(sim::DaclOf(&absolute), SecurityDescriptor::Dacl::Absent);
    absolute.Control = SE_DACL_PRESENT;
    EXPECT_EQ(sim::DaclOf(&absolute), SecurityDescriptor::Dacl::Null);
    ACL acl = {ACL_REVISION, 0, sizeof(ACL), 0, 0};
    absolute.Dacl = &acl;
    EXPECT_EQ(sim::DaclOf(&absolute), SecurityDescriptor::Dacl::List);
    absolute.Revision = 2;
    EXPECT_FALSE(sim::DaclOf(&absolute));

    // A self-relative descriptor says where its list is by an offset, 0
    // for a null one; its owner and group follow the header.
    SecurityDescriptor open = OwnedList();
    open.dacl = SecurityDescriptor::Dacl::Null;
    open.entries.clear();
    const std::string nullList = open.ToSelfRelative();
    EXPECT_EQ(sim::DaclOf(nullList.data()), SecurityDescriptor::Dacl::Null);
    const std::string withList = OwnedList().ToSelfRelative();
    EXPECT_EQ(sim::DaclOf(withList.data()), SecurityDescriptor::Dacl::List);
    EXPECT_EQ(SecurityDescriptor::FromMemory(withList.data()), OwnedList());
}

}  // namespace
