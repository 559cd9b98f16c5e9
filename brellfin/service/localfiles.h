#pragma once

// Local file helpers of the transfers and the panes: CRC-32 and MD5 of local
// files read in 4096-byte pieces, sizes and file names of paths.

#include "framework/utils/fftypes.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class RunningMd5;

// CRC-32 (IEEE 802.3) of the first count bytes of the file. False when the
// file cannot be opened, holds fewer bytes, or cancel is set before a read.
// The bytes read go to md5 as well when one is given: a resumed file's MD5
// begins in the pass that proves its first part.
bool localFileCrc32(const QString& path, std::uint64_t count, std::uint32_t& crc, const std::atomic<bool>& cancel,
                    RunningMd5* md5 = nullptr);
// MD5 of the whole file into digest (16 bytes); false as above.
bool localFileMd5(const QString& path, std::vector<FF::byte>& digest, const std::atomic<bool>& cancel);
// Runs the reflected CRC-32 (polynomial 0xEDB88320) over count bytes; the
// caller starts with 0xFFFFFFFF and complements the end result.
std::uint32_t crc32Update(std::uint32_t crc, const void* bytes, std::uint64_t count);
// 0 when the file cannot be opened.
std::uint64_t localFileSize(const std::string& utf8Path);
// The text after the last '\' or '/', the whole text when there is neither.
std::string fileNameOfPath(const std::string& path);
QString fileNameOfPath(const QString& path);
