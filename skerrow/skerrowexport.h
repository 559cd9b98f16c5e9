// Marks what the Skerrow library exports; everything else stays inside it.
#pragma once

#define SKERROW_EXPORT __attribute__((visibility("default")))
