#include "app/SleepInhibitor.h"
