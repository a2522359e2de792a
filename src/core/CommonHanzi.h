#pragma once

/// The most common Chinese characters, in both scripts: what encoding detection counts to tell a
/// right reading of a novel's bytes from a wrong one (CommonHanzi.cpp is generated).
namespace CommonHanzi {
extern const char16_t list[];
extern const int count;
} // namespace CommonHanzi
