// The main of the suites that open decks: the local time zone is kept as the programs keep it at
// start-up. Without it libzip's mktime reads the zone file again for every zip entry, most of what the
// corpus tests spent.
#include <gtest/gtest.h>

#include "trelwick/engine.h"

int main(int argc, char** argv) {
    trelwick::engine::keepLocalTimeZone();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
