#pragma once

// Marks what the Skerrow library exports; everything else stays inside it.

#define SKERROW_EXPORT __attribute__((visibility("default")))
