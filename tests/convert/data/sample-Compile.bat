CD APPDIR
TASM -80 -i -b VID.z80 Video.bin 
DEVPAC8X Video

