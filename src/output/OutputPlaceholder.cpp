// Output subsystem translation unit placeholder.
