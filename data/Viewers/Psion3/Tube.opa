Mappa viewer file Tube.opa (demo stand-in)
