// loader
