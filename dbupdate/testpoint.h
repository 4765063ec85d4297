#ifndef TESTPOINT_H
#define TESTPOINT_H

// A place in a run where a test build of the program can stop dead, as a
// power cut or a killed installer would, or pause while holding its lock.
// The program itself compiles it to nothing.
#ifdef DBUPDATE_TEST_POINTS
void testPoint(const char *what);
#else
inline void testPoint(const char *) { }
#endif

#endif // TESTPOINT_H
