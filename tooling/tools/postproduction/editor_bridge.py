# Marker of a tools folder; the stand-in service fills this folder.
