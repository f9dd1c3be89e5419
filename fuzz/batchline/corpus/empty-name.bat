CD C:\Program Files\Zoetra
TASM -80 -i -b VID.z80 .bin 
DEVPAC8X 

