hello-onefile.exe: \
  app \
  app/data \
  app/hello.exe \
  app/data/greeting.txt
