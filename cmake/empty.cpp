// Keeps every library buildable while its folder is still empty.
