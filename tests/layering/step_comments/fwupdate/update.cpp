// The step check reports the six comments that are only numbers, or that open
// with numbers and a full stop, and keeps the ones whose numbers say something.
int update(int *a) {
    // 3.
    a[0] = 1;
    // 255 characters, up to and including the next LF
    // 9, 10, 11. Bits 0-1 choose.
    a[1] = 2;  // 15
    // 2 to 5.
    a[2] = 3;  // 1.5 times the length, 3072 bytes
    /* 4. */
    // 2. to 6. The definition file.
    // 0 otherwise.
    return a[0];  // 1 to 32: the largest number
}
