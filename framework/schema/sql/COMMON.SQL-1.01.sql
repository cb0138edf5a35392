alter table CLIENTE add SIMPLES varchar(1);
update VERSAO set NUMERO = '1.01' where ID = 1;
commit work;
