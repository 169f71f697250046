// The handle owners: which values count as "no handle", so that an owner
// never hands an empty value to a close function.
#include <gtest/gtest.h>

#include "sys/handles.h"
#include "tests/support/tool_fixture.h"

namespace {

class HandlesTest : public ToolTest {};

constexpr DWORD kSentinel = 0xDEADBEEF;

TEST_F(HandlesTest, EmptyValuesAreNeverClosed) {
    // A kernel handle from a file call that failed is INVALID_HANDLE_VALUE;
    // one from a process or token call that failed is null. Neither is
    // closed, so the last error a failed call left stays for the caller.
    SetLastError(kSentinel);
    {
        UniqueKernelHandle fromFileCall(INVALID_HANDLE_VALUE);
        UniqueKernelHandle fromTokenCall(nullptr);
        EXPECT_FALSE(fromFileCall);
        EXPECT_FALSE(fromTokenCall);
    }
    EXPECT_EQ(GetLastError(), kSentinel);

    // A device set owner starts empty as INVALID_HANDLE_VALUE, which is
    // what SetupDiGetClassDevsA returns on failure.
    UniqueDeviceInfoSet set;
    EXPECT_EQ(set.Get(), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(set);
    set.Reset(::SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    ASSERT_TRUE(set);
    EXPECT_EQ(set.Close(), TRUE);
    EXPECT_EQ(set.Get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(set.Close(), FALSE);  // nothing left to close
    EXPECT_EQ(GetLastError(), kSentinel);
}

}  // namespace
