#include "app/product_profile.h"

#include "device/hardware_tables.h"

int ProductProfile = 0;
int DusklineFlag = 0;
int ProfileFamily = 0;
const char* ProfileInfName = nullptr;
const char* const* ProfileIdList = nullptr;
int ProfileIdCount = 0;
const char* ProfileKeyPath = nullptr;
const char* ProfileSubKey = nullptr;

const char* const TavarinKeyPath = "Software\\Zelmar\\TavarinApp";

namespace {

void UseSettings(int family, const char* infName, const SupportedIdTable& ids, const char* keyPath,
                 const char* subKey) {
    ProfileFamily = family;
    ProfileInfName = infName;
    ProfileIdList = ids.rows;
    ProfileIdCount = ids.count;
    ProfileKeyPath = keyPath;
    ProfileSubKey = subKey;
}

}  // namespace

void SelectProductProfile(int profile) {
    ProductProfile = profile;
    if (profile == kPciProfile) {
        UseSettings(2, AbPackageFiles.rows[0], AbAdapterIds, TavarinKeyPath, "Zelmar\\TavarinApp");
    } else if (profile == kPcCardProfile && DusklineFlag) {
        UseSettings(1, DusklineInfName, DusklineIds, "Software\\Zelmar\\DusklineB", "Zelmar\\DusklineB");
    } else if (profile == kPcCardProfile) {
        UseSettings(1, SolvaneInfName, PcCardIds, "Software\\Zelmar\\SolvaneAppB", "Zelmar\\SolvaneAppB");
    } else {
        ProfileFamily = 0;
        ProfileInfName = nullptr;
        ProfileIdList = nullptr;
        ProfileIdCount = 0;
        ProfileKeyPath = nullptr;
        ProfileSubKey = nullptr;
    }
}

int GetProductProfile() { return ProductProfile; }

void SetDusklineFlag(bool set) { DusklineFlag = set ? 1 : 0; }

bool IsDusklineFlagSet() { return DusklineFlag != 0; }
