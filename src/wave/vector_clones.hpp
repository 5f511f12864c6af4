#pragma once

// Marks a plain per-element loop for extra builds on wide x86-64 vector units, picked at load
// time by the CPU it runs on. Elsewhere it is empty and the compiler's own vectorisation of the
// plain loop serves. The clones run the same IEEE operations, so they give the same results.
// GCC only: clang before 16 cannot link clones that are called from another file.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__ELF__) && \
    defined(__has_attribute)
#if __has_attribute(target_clones)
#define TONEGEN_VECTOR_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#define TONEGEN_VECTOR_CLONES_ON
#endif
#endif
#ifndef TONEGEN_VECTOR_CLONES
#define TONEGEN_VECTOR_CLONES
#endif

// For a cloned function whose work lies in the helpers it calls: they are built into each clone.
#ifdef TONEGEN_VECTOR_CLONES_ON
#define TONEGEN_FLATTEN __attribute__((flatten))
#else
#define TONEGEN_FLATTEN
#endif

// For code that gains most from fused multiply-adds (exact products in two instructions), builds
// for processors with AVX2 and FMA, and with AVX-512 (which has both), each called only where
// the processor has what it needs.
#ifdef TONEGEN_VECTOR_CLONES_ON
#define TONEGEN_FMA_TARGET __attribute__((target("avx2,fma")))
#define TONEGEN_AVX512_TARGET __attribute__((target("avx512f,avx2,fma")))
inline bool processor_has_fma() {
  static const bool has = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  return has;
}
inline bool processor_has_avx512() {
  static const bool has = __builtin_cpu_supports("avx512f") && processor_has_fma();
  return has;
}
#endif
