/* Preloaded into sanitizer test runs: dlclose does nothing, so every shared library stays mapped
   until the process ends and LeakSanitizer can name the module of each allocation it reports. */
int dlclose(void* handle)
{
    (void)handle;
    return 0;
}
