// The HDF5 lock must nest: the writer holds it while it calls reader functions.
#include "core/Hdf5Lock.h"

#include <gtest/gtest.h>

#include <thread>

using namespace Tervane3;

TEST(Hdf5LockTest, NestsOnOneThreadAndExcludesOthers)
{
    Hdf5Locker outer(hdf5Mutex());
    {
        Hdf5Locker inner(hdf5Mutex());
        bool otherGotIt = true;
        std::thread other([&] { otherGotIt = hdf5Mutex().try_lock(); if (otherGotIt) hdf5Mutex().unlock(); });
        other.join();
        EXPECT_FALSE(otherGotIt);
    }
}
