// USB driver interface: URBs and their constants.
#pragma once
#include <usb.h>
