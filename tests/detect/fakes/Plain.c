/* A library without a version resource. */
int vl_plain_library;
