#ifndef TABCUBE_EXPORT_H
#define TABCUBE_EXPORT_H

// Marks the classes a host may use across the shared-library boundary. The
// library is built with hidden visibility, so only these classes are exported.
#if defined(_WIN32)
#define TABCUBE_EXPORT __declspec(dllexport)
#else
#define TABCUBE_EXPORT __attribute__((visibility("default")))
#endif

#endif
