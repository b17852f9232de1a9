// Headers that nearly every test includes, compiled once for all test executables.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <gtest/gtest.h>
#include <gmock/gmock.h>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
