Mappa viewer file Mappa.app (demo stand-in)
