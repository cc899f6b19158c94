#include "fake_target.h"

FakeLink* FakeLink::cur = nullptr;
