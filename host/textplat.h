#ifndef HOST_TEXTPLAT_H
#define HOST_TEXTPLAT_H

// The host's text platform: fixed-width text fields and label collation.

// Copies srcLength bytes of src into dest and fills dest up to destWidth with
// blanks. Requires destWidth >= srcLength.
void QUORMBCopyToFixed_A(char* dest, int destWidth, const char* src, int srcLength);

// Negative, zero or positive as first collates before, equal to or after
// second under the C library's collation for the current locale.
int QUORMBstrcoll_A(const char* first, const char* second);

#endif
