Mappa viewer file mappa.opa (demo stand-in)
