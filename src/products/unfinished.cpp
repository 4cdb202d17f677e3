#include "products/system.hpp"

#include <csignal>
#include <cstring>

namespace {

// A fixed list, readable from a signal handler or another thread: a slot's
// name is complete before the slot is marked used, and interrupts are held
// while either changes.
constexpr int slotCount = 4;
constexpr std::size_t slotNameBytes = 256;
char unfinishedNames[slotCount][slotNameBytes];
volatile std::sig_atomic_t slotUsed[slotCount];

}  // namespace

int listUnfinished(const std::string& name)
{
    if (name.size() >= slotNameBytes)
        return -1;
    for (int slot = 0; slot < slotCount; ++slot) {
        if (!slotUsed[slot]) {
            std::memcpy(unfinishedNames[slot], name.c_str(), name.size() + 1);
            slotUsed[slot] = 1;
            return slot;
        }
    }
    return -1;
}

void unlistUnfinished(int slot)
{
    if (slot >= 0 && slot < slotCount)
        slotUsed[slot] = 0;
}

void removeUnfinished(void (*remove)(const char* name))
{
    for (int slot = 0; slot < slotCount; ++slot)
        if (slotUsed[slot])
            remove(unfinishedNames[slot]);
}
