/* A library that exports the PhysX loader's entry point and does nothing. */
__declspec(dllexport) void* NxCreatePhysicsSDK(void)
{
    return 0;
}
