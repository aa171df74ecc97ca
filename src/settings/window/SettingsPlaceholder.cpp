// Settings window translation unit placeholder.
