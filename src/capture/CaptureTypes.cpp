// Capture subsystem placeholder translation unit; the session and views live beside it.
