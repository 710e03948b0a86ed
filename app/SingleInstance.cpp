#include "app/SingleInstance.h"
